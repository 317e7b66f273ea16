// The deferred power-off: what the first and second readings decide. The sleep is stood
// in for by a function that records the delay and does what a user might do meanwhile.
#include "deferred_power_off.h"
#include "power_actions.h"
#include "power_recorder.h"
#include "setting_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string SETTING = SETTING_FILE_PATH_A;

std::vector<DWORD> sleeps;
std::function<void()> during_sleep;

void WINAPI recording_sleep(DWORD milliseconds)
{
    sleeps.push_back(milliseconds);
    if (during_sleep)
        during_sleep();
}

class DeferredPowerOff : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
        sleeps.clear();
        during_sleep = nullptr;
        deferred_sleep = recording_sleep;
        shutdown_request = request_as_service; // as the service sets it when it starts
    }
    void TearDown() override
    {
        deferred_sleep = Sleep;
        remove_setting_folder();
    }
};

struct Outcome {
    const char* name;
    const char* first;  // nullptr: no file at the first reading
    const char* second; // nullptr: file deleted during the sleep; "=": left as it was
    bool pending;
    DWORD slept;        // 0: no sleep
    bool powered_off;
    const char* after;  // the file's bytes at the end
};

TEST_F(DeferredPowerOff, EightOutcomesOfTheTwoReadings)
{
    const Outcome outcomes[] = {
        {"first: no file", nullptr, "=", false, 0, false, "<missing>"},
        {"first: too short", "Setting=", "=", false, 0, false, "Setting="},
        {"first: unrecognised", "Setting=1hr\n", "=", false, 0, false, "Setting=1hr\n"},
        {"second: file deleted", "Setting=2hr", nullptr, true, 7200000, false, "<missing>"},
        {"second: cleared", "Setting=2hr", "Setting=", true, 7200000, false, "Setting="},
        {"second: emptied", "Setting=2hr", "", true, 7200000, false, ""},
        {"second: unrecognised", "Setting=2hr", "Setting=2HR", true, 7200000, false, "Setting=2HR"},
        {"second: other duration", "Setting=2hr", "Setting=4hr", true, 7200000, false, "Setting=4hr"},
        {"second: same duration", "Setting=2hr", "=", true, 7200000, true, "Setting="},
        {"second: rewritten, same", "Setting=2hr", "abcdefgh2hr", true, 7200000, true, "Setting="},
    };
    for (const Outcome& o : outcomes) {
        PowerRecorder recorder;
        sleeps.clear();
        DeleteFileA(SETTING.c_str());
        if (o.first != nullptr)
            write_bytes(SETTING, o.first);
        during_sleep = [&o] {
            if (o.second == nullptr)
                DeleteFileA(SETTING.c_str());
            else if (std::string(o.second) != "=")
                write_bytes(SETTING, o.second);
        };

        EXPECT_EQ(o.pending, run_deferred_power_off()) << o.name;
        EXPECT_EQ(o.slept == 0 ? std::vector<DWORD>{} : std::vector<DWORD>{o.slept}, sleeps)
            << o.name;
        auto requests = recorder.requests();
        ASSERT_EQ(o.powered_off ? 1u : 0u, requests.size()) << o.name;
        if (o.powered_off) {
            EXPECT_EQ("InitiateShutdownW", requests[0].call) << o.name;
            EXPECT_EQ(SERVICE_POWER_OFF_FLAGS, requests[0].flags) << o.name;
            EXPECT_EQ(PLANNED, requests[0].reason) << o.name;
        }
        EXPECT_EQ(o.after, read_bytes(SETTING)) << o.name;
    }
}

TEST_F(DeferredPowerOff, EachTokenSleepsItsOwnDuration)
{
    const std::pair<const char*, DWORD> rows[] = {
        {"Setting=5mins", 300000}, {"Setting=30mins", 1800000}, {"Setting=1hr", 3600000},
        {"Setting=2hr", 7200000},  {"Setting=4hr", 14400000},  {"XXXXXXXX1hr", 3600000},
    };
    for (const auto& row : rows) {
        PowerRecorder recorder;
        sleeps.clear();
        write_bytes(SETTING, row.first);
        SetFileAttributesA(SETTING.c_str(), REWRITE_REFUSING_MARKS); // taken off by the clearing
        EXPECT_TRUE(run_deferred_power_off()) << row.first;
        EXPECT_EQ(std::vector<DWORD>{row.second}, sleeps) << row.first;
        EXPECT_EQ(1u, recorder.requests().size()) << row.first;
        EXPECT_EQ("Setting=", read_bytes(SETTING)) << row.first;
        EXPECT_EQ(0u, GetFileAttributesA(SETTING.c_str()) & REWRITE_REFUSING_MARKS) << row.first;
    }
}

// The service runs as LocalSystem: a folder users may change holds nothing it acts on,
// whether it was so at the first reading or became so during the delay.
// A setting file with a second name (a hard link another user made to it) is nothing
// pending either, in a folder still to trust.
TEST_F(DeferredPowerOff, MissingFolderOneUsersMayChangeOrAFileWithTwoNamesIsNothingPending)
{
    enum { missing, open_before, open_during, second_name };
    const std::string OTHER = "C:\\NuvexKV-other.nkv";
    for (int c : {missing, open_before, open_during, second_name}) {
        PowerRecorder recorder;
        sleeps.clear();
        remove_setting_folder();
        if (c != missing) {
            make_setting_folder();
            write_bytes(c == second_name ? OTHER : SETTING, "Setting=5mins");
        }
        if (c == second_name) {
            ASSERT_TRUE(CreateHardLinkA(SETTING.c_str(), OTHER.c_str(), nullptr));
        }
        if (c == open_before)
            open_to_everyone(SETTING_FOLDER_PATH_A);
        during_sleep = [] { open_to_everyone(SETTING_FOLDER_PATH_A); };
        EXPECT_EQ(c == open_during, run_deferred_power_off()) << c;
        EXPECT_EQ(c == open_during ? 1u : 0u, sleeps.size()) << c;
        EXPECT_TRUE(recorder.requests().empty()) << c;
        EXPECT_EQ(c == missing ? "<missing>" : "Setting=5mins", read_bytes(SETTING)) << c;
    }
    DeleteFileA(OTHER.c_str());
}

TEST_F(DeferredPowerOff, FileThatCannotBeWrittenStillPowersOffAndKeepsItsToken)
{
    PowerRecorder recorder;
    write_bytes(SETTING, "Setting=30mins");
    FileHolder reader(SETTING, true); // readers may share, writers are kept out
    EXPECT_TRUE(run_deferred_power_off());
    EXPECT_EQ(std::vector<DWORD>{1800000}, sleeps);
    EXPECT_EQ(1u, recorder.requests().size());
    reader.release();
    EXPECT_EQ("Setting=30mins", read_bytes(SETTING));
}

TEST_F(DeferredPowerOff, FileHeldDuringTheSecondReadingIsNothingMore)
{
    PowerRecorder recorder;
    write_bytes(SETTING, "Setting=5mins");
    FileHolder* holder = nullptr;
    during_sleep = [&holder] { holder = new FileHolder(SETTING, false); };
    EXPECT_TRUE(run_deferred_power_off());
    delete holder;
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_EQ("Setting=5mins", read_bytes(SETTING));
}

} // namespace
