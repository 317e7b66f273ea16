// The service's status reports, exactly as the service control manager receives them.
// The checkpoint counter lives for the whole process: each case counts its checkpoints from
// where it found the counter, so that the cases may share a process in any order.
#include "deferred_power_off.h"
#include "power_recorder.h"
#include "service_host.h"
#include "setting_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

SERVICE_STATUS_HANDLE const FAKE_HANDLE = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x4b56);

struct Report {
    DWORD state, accepted, exit_code, checkpoint, wait_hint;
    bool operator==(const Report& o) const
    {
        return state == o.state && accepted == o.accepted && exit_code == o.exit_code &&
               checkpoint == o.checkpoint && wait_hint == o.wait_hint;
    }
};

std::ostream& operator<<(std::ostream& out, const Report& r)
{
    return out << "{state " << r.state << ", accepted " << r.accepted << ", exit " << r.exit_code
               << ", checkpoint " << r.checkpoint << ", hint " << r.wait_hint << "}";
}

std::mutex lock;
std::condition_variable changed;
std::vector<Report> reports;
std::wstring registered_name;
LPHANDLER_FUNCTION registered_handler = nullptr;
bool sleeping = false, wake = false;
DWORD process_checkpoint = 0, case_start = 0; // the process's last; where the case found it

SERVICE_STATUS_HANDLE WINAPI fake_register(LPCWSTR name, LPHANDLER_FUNCTION handler)
{
    registered_name = name;
    registered_handler = handler;
    return FAKE_HANDLE;
}

SERVICE_STATUS_HANDLE WINAPI failing_register(LPCWSTR, LPHANDLER_FUNCTION)
{
    return nullptr;
}

BOOL WINAPI record_status(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS s)
{
    EXPECT_EQ(FAKE_HANDLE, handle);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), s->dwServiceType);
    EXPECT_EQ(0u, s->dwServiceSpecificExitCode);
    std::lock_guard<std::mutex> hold(lock);
    // The counter runs on through the process from 1; a case counts from where it found it.
    EXPECT_TRUE(s->dwCheckPoint == 0 || s->dwCheckPoint == ++process_checkpoint) << s->dwCheckPoint;
    reports.push_back({s->dwCurrentState, s->dwControlsAccepted, s->dwWin32ExitCode,
                       s->dwCheckPoint == 0 ? 0 : s->dwCheckPoint - case_start, s->dwWaitHint});
    changed.notify_all();
    return TRUE;
}

HANDLE WINAPI failing_create_event(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// A sleep that lasts until the test lets it end.
void WINAPI held_sleep(DWORD)
{
    std::unique_lock<std::mutex> hold(lock);
    sleeping = true;
    changed.notify_all();
    changed.wait(hold, [] { return wake; });
}

bool wait_until(const std::function<bool()>& condition)
{
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, std::chrono::seconds(10), condition);
}

// ServiceMain on a thread of its own. A case waits for its end 10 s at most: one that does
// not end fails with a message instead of hanging until ctest's limit, its thread left behind.
struct Service {
    std::packaged_task<void()> main{[] { ServiceMain(0, nullptr); }};
    std::future<void> returned = main.get_future();
    std::thread thread{std::move(main)};
    bool ended(int seconds = 10) { return returned.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready; }
    ~Service() { ended(0) ? thread.join() : thread.detach(); }
};

// Wine's SetServiceStatus ends a stopped report by taking the lock under which its
// dispatcher runs the handler: a handler still reporting then must not have to wait for
// the service thread. So while the first stopped report is taken, a report from another
// thread has to go through.
std::atomic<bool> probing{false};
bool repeated = false;
std::thread handler_during_stopped;

BOOL WINAPI stopped_admits_the_handler(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS s)
{
    record_status(handle, s);
    if (s->dwCurrentState == SERVICE_STOPPED && !probing.exchange(true)) {
        handler_during_stopped = std::thread([] {
            report_service_status(STANDING_STATE, NO_ERROR, 0);
            std::lock_guard<std::mutex> hold(lock);
            repeated = true;
            changed.notify_all();
        });
        EXPECT_TRUE(wait_until([] { return repeated; }))
            << "a report had to wait for the stopped one to be taken";
    }
    return TRUE;
}

bool has_state(DWORD state)
{
    for (const Report& r : reports)
        if (r.state == state)
            return true;
    return false;
}

std::vector<Report> recorded()
{
    std::lock_guard<std::mutex> hold(lock);
    return reports;
}

const Report START_PENDING = {SERVICE_START_PENDING, 0, 0, 1, 3000};
const Report RUNNING = {SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0};
const Report STOP_PENDING_2 = {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 2, 0};
const Report STOP_PENDING_3 = {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 3, 0};
const Report STOPPED = {SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0, 0};

class ServiceHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
        reports.clear();
        sleeping = wake = probing = repeated = false;
        case_start = process_checkpoint;
        service_api.register_handler = fake_register;
        service_api.set_status = record_status;
        service_api.create_event = CreateEventW;
        deferred_sleep = held_sleep;
    }
    void TearDown() override { remove_setting_folder(); }

};

// The handler's second report and the service thread's stopped report may come in either
// order; the handler's second report, once the service thread has reported stopped,
// repeats stopped with checkpoint 0.
TEST_F(ServiceHost, StartThenStopGivesTheFiveReports)
{
    PowerRecorder recorder;
    Service service;
    ASSERT_TRUE(wait_until([] { return has_state(SERVICE_RUNNING); }));
    EXPECT_EQ(SERVICE_NAME_W, registered_name);
    ASSERT_EQ(service_control_handler, registered_handler);

    // Controls other than stop change nothing and report nothing.
    const DWORD others[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                            SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_SHUTDOWN, 128};
    for (DWORD control : others)
        registered_handler(control);
    EXPECT_EQ(2u, recorded().size());

    registered_handler(SERVICE_CONTROL_STOP);
    ASSERT_TRUE(service.ended()) << "the service did not end after its stop";
    auto got = recorded();
    ASSERT_EQ(5u, got.size());
    EXPECT_EQ(START_PENDING, got[0]);
    EXPECT_EQ(RUNNING, got[1]);
    EXPECT_EQ(STOP_PENDING_2, got[2]);
    EXPECT_TRUE(got[3] == STOP_PENDING_3 || got[3] == STOPPED) << got[3];
    EXPECT_EQ(STOPPED, got[4]);
    EXPECT_TRUE(recorder.requests().empty());
}

// Sent while the stopped report is being taken, a report goes through (the probe fails
// otherwise) and repeats stopped.
TEST_F(ServiceHost, AReportWhileStoppedIsTakenGoesThroughAndRepeatsIt)
{
    service_api.set_status = stopped_admits_the_handler;
    Service service;
    ASSERT_TRUE(wait_until([] { return has_state(SERVICE_RUNNING); }));
    registered_handler(SERVICE_CONTROL_STOP);
    ASSERT_TRUE(service.ended()) << "the service did not end after its stop";
    handler_during_stopped.join();
    auto got = recorded();
    ASSERT_EQ(6u, got.size());
    EXPECT_EQ(STOPPED, got[5]);
}

TEST_F(ServiceHost, StopDuringTheDelayWaitsForTheDelayAndItsPowerOff)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=5mins");
    Service service;
    ASSERT_TRUE(wait_until([] { return sleeping; }));

    registered_handler(SERVICE_CONTROL_STOP);
    auto during = recorded();
    ASSERT_EQ(4u, during.size()) << "stop-pending is reported at once, twice";
    EXPECT_EQ(STOP_PENDING_2, during[2]);
    EXPECT_EQ(STOP_PENDING_3, during[3]);
    EXPECT_TRUE(recorder.requests().empty());

    {
        std::lock_guard<std::mutex> hold(lock);
        wake = true;
        changed.notify_all();
    }
    ASSERT_TRUE(service.ended()) << "the service did not end after its stop and its delay";
    auto all = recorded();
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ(STOPPED, all[4]);
    ASSERT_EQ(1u, recorder.requests().size());
    EXPECT_EQ("InitiateShutdownW", recorder.requests()[0].call) << "the service's own request";
    EXPECT_EQ(SERVICE_POWER_OFF_FLAGS, recorder.requests()[0].flags);
    EXPECT_EQ("Setting=", read_bytes(SETTING_FILE_PATH_A));
}

TEST_F(ServiceHost, FailedEventCreationStopsWithItsErrorAndReadsNothing)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=5mins");
    service_api.create_event = failing_create_event;
    Service service;
    ASSERT_TRUE(service.ended()) << "the service did not end when its event could not be made";
    auto got = recorded();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(START_PENDING, got[0]);
    EXPECT_EQ((Report{SERVICE_STOPPED, SERVICE_ACCEPT_STOP, ERROR_NOT_ENOUGH_MEMORY, 0, 0}), got[1]);
    EXPECT_FALSE(sleeping);
    EXPECT_EQ("Setting=5mins", read_bytes(SETTING_FILE_PATH_A));
}

TEST_F(ServiceHost, FailedRegistrationReportsNothingAndReadsNothing)
{
    write_bytes(SETTING_FILE_PATH_A, "Setting=5mins");
    service_api.register_handler = failing_register;
    Service service;
    ASSERT_TRUE(service.ended()) << "the service did not end when it could not register";
    EXPECT_TRUE(recorded().empty());
    EXPECT_FALSE(sleeping);
}

} // namespace
