// The folder LocalSystem may trust, and the package's SYSTEM step run in-process on the
// real C:\NuvexKV of the test's prefix, its log lines collected. (Wine keeps no access
// lists: it shows the Unix owner and mode as one, so a folder of mode 0777, Everyone:
// full control, is one users may write, as on Windows.)
#include "backup_privileges.h"
#include "folder_decision.h"
#include "folder_rights.h"
#include "setting_file.h"
#include "setting_folder.h"
#include "setup_log.h"
#include "test_files.h"
#include "trusted_folder.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

namespace {

constexpr DWORD FOLDER = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD LINK = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
constexpr DWORD ACLS = FILE_PERSISTENT_ACLS;
constexpr DWORD NONE = INVALID_FILE_ATTRIBUTES;
const wchar_t* const SELF = L"S-1-5-21-7-8-9-1000";

struct RuleCase {
    const char* name;
    const wchar_t* sddl;
    DWORD by_name, by_handle, volume;
    bool files_plain;
    Trust trust;
};

TEST(TrustedFolder, TheRuleOverOwnersAccessListsLinksAndVolumes)
{
    const wchar_t* const own = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    const RuleCase cases[] = {
        {"the package's own rights", guarded_sddl(Guarded::folder), FOLDER, FOLDER, ACLS, true, Trust::trusted},
        {"owned by SYSTEM", L"O:SYD:(A;;FA;;;SY)", FOLDER, FOLDER, ACLS, true, Trust::trusted},
        {"owned by the account itself, Everyone reads (Wine's 0755)",
         L"O:S-1-5-21-7-8-9-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-7-8-9-1000)(A;OICI;0x1200a9;;;WD)",
         FOLDER, FOLDER, ACLS, true, Trust::trusted},
        {"a deny entry grants nothing", L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)", FOLDER, FOLDER, ACLS, true, Trust::trusted},
        {"owned by Users", L"O:BUD:P(A;OICI;FA;;;SY)", FOLDER, FOLDER, ACLS, true, Trust::foreign_owner},
        {"Everyone may write (Wine's 0777)", L"O:BAD:(A;OICI;0x1301ff;;;WD)", FOLDER, FOLDER, ACLS, true,
         Trust::open_to_others},
        {"an inherited entry lets users change it", L"O:BAD:(A;OICIID;0x1301bf;;;AU)", FOLDER, FOLDER, ACLS, true,
         Trust::open_to_others},
        {"an extra entry lets users add a folder", L"O:BAD:P(A;;FA;;;BA)(A;;0x1200ad;;;BU)", FOLDER, FOLDER, ACLS,
         true, Trust::open_to_others},
        {"Creator Owner gets full control of what is made there", L"O:BAD:P(A;;FA;;;BA)(A;OICIIO;GA;;;CO)",
         FOLDER, FOLDER, ACLS, true, Trust::open_to_others},
        {"no access list at all", L"O:BA", FOLDER, FOLDER, ACLS, true, Trust::open_to_others},
        {"a link, opened as itself", own, LINK, LINK, ACLS, true, Trust::link},
        {"a link its handle follows", own, LINK, FOLDER, ACLS, true, Trust::link_followed},
        {"a folder turned link before it was held", own, FOLDER, LINK, ACLS, true, Trust::link_followed},
        {"a file", own, FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE, ACLS, true, Trust::not_a_folder},
        {"a file on a volume without access lists", own, FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE, 0, true,
         Trust::no_access_lists},
        {"a system file there is a link or a hard link", own, FOLDER, FOLDER, ACLS, false, Trust::odd_file},
        {"nothing there", own, NONE, NONE, ACLS, true, Trust::missing},
    };
    PSID self = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(SELF, &self));
    for (const RuleCase& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor,
                                                                         nullptr)) << c.name;
        FolderLook look{c.by_name, c.by_handle, c.volume, nullptr, nullptr, c.files_plain};
        BOOL present = FALSE, defaulted = FALSE;
        GetSecurityDescriptorOwner(descriptor, &look.owner, &defaulted);
        GetSecurityDescriptorDacl(descriptor, &present, &look.dacl, &defaulted);
        EXPECT_EQ(static_cast<int>(c.trust), static_cast<int>(judge_folder(look, self))) << c.name;
        LocalFree(descriptor);
    }
    LocalFree(self);
}

TEST(TrustedFolder, AFailureToLookIsNoVerdictNorAWaitAndALongNameIsNotCut)
{
    FolderFound found{};
    EXPECT_EQ(INVALID_HANDLE_VALUE, open_folder(L"C:\\Nuvex<KV", &found));
    EXPECT_EQ(static_cast<int>(Trust::unseen), static_cast<int>(found.trust)) << "not missing";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), found.error);
    DWORD error = ERROR_SUCCESS;
    std::wstring longer = std::wstring(SETTING_FOLDER_PATH_W) + L"\\" + std::wstring(MAX_PATH, L'x');
    EXPECT_EQ(INVALID_HANDLE_VALUE, open_unfollowed(nullptr, longer.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_ALL,
                                                    FILE_OPEN, 0, nullptr, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), error);
    // An open that finds a holder's oplock breaking is a file in use, never a wait for him.
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), open_error(0x00000108));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), open_error(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), open_error(static_cast<NTSTATUS>(0xC0000034)));
}

TEST(SetupFolder, TrustDecidesKeepSetAsideCreateOrRefuse)
{
    using S = FolderStep;
    const struct {
        Trust trust;
        FolderStep step;
        const wchar_t* what;
        bool carry; // from a folder set aside, never from a link or a file
    } cases[] = {
        {Trust::missing, S::create, nullptr, false},      {Trust::trusted, S::keep, nullptr, false},
        {Trust::link, S::move_aside, L"link", false},     {Trust::not_a_folder, S::move_aside, L"file", false},
        {Trust::foreign_owner, S::move_aside, L"folder", true}, {Trust::open_to_others, S::move_aside, L"folder", true},
        {Trust::odd_file, S::mend, nullptr, false}, {Trust::unseen, S::refuse, nullptr, false},
        {Trust::link_followed, S::refuse, nullptr, false}, {Trust::no_access_lists, S::refuse, nullptr, false},
    };
    for (const auto& c : cases) {
        FolderDecision decision = decide_folder(c.trust);
        EXPECT_EQ(static_cast<int>(c.step), static_cast<int>(decision.step)) << static_cast<int>(c.trust);
        EXPECT_STREQ(c.what, decision.what) << static_cast<int>(c.trust);
        EXPECT_EQ(c.carry, decision.carry) << static_cast<int>(c.trust);
        EXPECT_EQ(c.trust == Trust::unseen, decision.with_error) << static_cast<int>(c.trust);
    }
}

// Hard links, folders and files too large are refused by the step below, on real files; a
// link to a file, which Wine cannot show, and the largest size taken only here.
TEST(SetupFolder, OnlyAPlainFileOfASensibleSizeCarriesOver)
{
    BY_HANDLE_FILE_INFORMATION plain{}, link{};
    plain.nNumberOfLinks = link.nNumberOfLinks = 1;
    plain.nFileSizeLow = LARGEST_CARRIED_FILE;
    link.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(carries_over(plain));
    EXPECT_FALSE(carries_over(link));
}

TEST(SetupFolder, OnlyTheLaunchersFourDelaysAreTakenExactly)
{
    for (const wchar_t* word : {L"30mins", L"1hr", L"2hr", L"4hr"})
        EXPECT_TRUE(is_launcher_delay(word)) << word;
    for (const wchar_t* word : {L"5mins", L"2HR", L"2hr ", L"", L"C:\\x", L"Setting=2hr"})
        EXPECT_FALSE(is_launcher_delay(word)) << word;
}

TEST(SetupFolder, TheSetAsideNameSaysWhatAndWhenAndCannotBeGuessed)
{
    const SYSTEMTIME when = {2026, 12, 2, 8, 20, 5, 9, 0};
    wchar_t name[MAX_PATH];
    aside_name(L"c:\\NuvexKV", L"link", when, 0x0123456789abcdefULL, name, MAX_PATH);
    EXPECT_STREQ(L"c:\\NuvexKV.link-20261208-200509-0123456789abcdef", name);
}

TEST(SetupRights, AdministratorsOwnWhatIsMadeAndUsersGetOnlyTheirShare)
{
    const struct {
        Guarded what;
        const char* name;
        DWORD users;
        BYTE inherited_by;
    } cases[] = {
        {Guarded::folder, "the folder: list, traverse, read what is put there",
         FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {Guarded::setting_file, "the setting file: read and rewrite with fopen",
         FILE_GENERIC_READ | FILE_GENERIC_WRITE, 0},
        {Guarded::launcher_config, "the launcher's configuration: read", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, 0},
    };
    const WELL_KNOWN_SID_TYPE trustees[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinBuiltinUsersSid};
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = make_security(c.what);
        ASSERT_NE(nullptr, descriptor) << c.name;
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) << c.name;
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << c.name << ": nothing inherited from C:\\";
        ASSERT_EQ(3, dacl->AceCount) << c.name << ": SYSTEM, Administrators, Users and nobody else";
        for (WORD i = 0; i < 3; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace))) << c.name;
            EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << c.name;
            EXPECT_TRUE(IsWellKnownSid(&ace->SidStart, trustees[i])) << c.name << ", entry " << i;
            bool users = trustees[i] == WinBuiltinUsersSid;
            EXPECT_EQ(users ? c.users : FILE_ALL_ACCESS, ace->Mask) << c.name << ", entry " << i;
            EXPECT_EQ(c.inherited_by, ace->Header.AceFlags) << c.name << ", entry " << i;
        }
        LocalFree(descriptor);
    }
}

bool privilege_enabled(const wchar_t* name)
{
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    PrivilegeCheck(token, &set, &enabled);
    CloseHandle(token);
    return enabled != FALSE;
}

TEST(SetupRights, TheStepEnablesBackupAndRestoreAndDisablesThemAgain)
{
    for (bool on : {true, false}) {
        EXPECT_TRUE(set_backup_privileges(on)) << on;
        EXPECT_EQ(on, privilege_enabled(SE_BACKUP_NAME)) << on;
        EXPECT_EQ(on, privilege_enabled(SE_RESTORE_NAME)) << on;
    }
}

// ---- The step itself, on C:\NuvexKV of the test's prefix --------------------------------

std::wstring lines;
void keep_line(MSIHANDLE, const wchar_t* line)
{
    lines += line;
    lines += L"\n";
}

bool logged(const wchar_t* text)
{
    return lines.find(text) != std::wstring::npos;
}

const std::string CONFIG = std::string(SETTING_FOLDER_PATH_A) + "\\" + LAUNCHER_CONFIG_NAME_A;
const std::string SETTING = SETTING_FILE_PATH_A;

// The folders the step set aside: their names, each ending in "|".
std::string set_aside(bool remove)
{
    std::string names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\NuvexKV.*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(found.cFileName) == "NuvexKV")
            continue; // the pattern's DOS reading takes the bare name too
        names += std::string(found.cFileName) + "|";
        if (remove)
            remove_folder(std::string("C:\\") + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class SetupStep : public ::testing::Test {
protected:

    void SetUp() override
    {
        remove_setting_folder();
        set_aside(true);
        make_setting_folder();
        lines.clear();
        setup_log_sink = keep_line;
    }
    void TearDown() override
    {
        remove_setting_folder();
        set_aside(true);
    }
};

TEST_F(SetupStep, ATrustedFolderIsKeptAndTheGivenDelayReplacesTheConfiguration)
{
    write_bytes(SETTING, "Setting=2hr");
    write_bytes(CONFIG, "Setting=4hr");
    SetFileAttributesA(CONFIG.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(secure_setting_folder(0, L"1hr"));
    EXPECT_TRUE(logged(L"c:\\NuvexKV is a folder this package may trust: kept as it is.")) << lines;
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING)) << "a repair keeps what is pending";
    EXPECT_EQ("Setting=1hr", read_bytes(CONFIG));
    EXPECT_EQ("", set_aside(false));
}

struct AsideCase {
    const char* name;
    void (*plant)();
    const char* setting;   // what the new folder's setting file holds
    const char* config;    // "<missing>": not carried
    const wchar_t* said;
};

TEST_F(SetupStep, AFolderUsersMayChangeIsSetAsideCarryingOnlyPlainFiles)
{
    const AsideCase cases[] = {
        {"both files carried", [] { write_bytes(CONFIG, "Setting=2hr\nSetting=4hr"); write_bytes(SETTING, "Setting=5mins"); },
         "Setting=5mins", "Setting=4hr", L"shutdownaftersetting.nkv: its last line (11 bytes) carries over."},
        {"lines the system never writes", [] { write_bytes(CONFIG, "Setting=5mins"); write_bytes(SETTING, "Setting=9hr"); },
         "", "<missing>", L"shutdownaftersetting.nkv: its last line is none this system writes there: not carried over."},
        {"a hard link", [] { write_bytes(SETTING, "x"); CreateHardLinkA(CONFIG.c_str(), SETTING.c_str(), nullptr); },
         "", "<missing>", L"shutdownaftersetting.nkv not read: not a plain file with one name of at most 65536 bytes."},
        {"too large", [] { write_bytes(CONFIG, std::string(LARGEST_CARRIED_FILE + 1, 'x')); },
         "", "<missing>", L"shutdownaftersetting.nkv not read: not a plain file with one name"},
        {"a folder", [] { CreateDirectoryA(SETTING.c_str(), nullptr); },
         "", "<missing>", L"shutdownafter.nkv not read: not a plain file with one name"},
    };
    for (const AsideCase& c : cases) {
        SetUp();
        c.plant();
        open_to_everyone(SETTING_FOLDER_PATH_A);
        EXPECT_TRUE(secure_setting_folder(0, L"")) << c.name << "\n" << lines;
        EXPECT_TRUE(logged(L"c:\\NuvexKV, a folder, set aside as c:\\NuvexKV.folder-")) << c.name << "\n" << lines;
        EXPECT_TRUE(logged(c.said)) << c.name << "\n" << lines;
        EXPECT_EQ(c.setting, read_bytes(SETTING)) << c.name;
        EXPECT_EQ(c.config, read_bytes(CONFIG)) << c.name;
        HANDLE made = open_trusted_folder(SETTING_FOLDER_PATH_W);
        EXPECT_NE(INVALID_HANDLE_VALUE, made) << c.name << ": the new folder is one to trust";
        CloseHandle(made);
        EXPECT_EQ(48u, set_aside(false).size()) << c.name << ": NuvexKV.folder-YYYYMMDD-HHMMSS-<16 digits>|";
    }
}

// Neither a second name another user gave the setting file (a hard link to it) nor a folder
// in the configuration's place sets the folder aside: its name is never freed. The odd file
// is mended in place, through the held folder, and its other names stay where they are.
TEST_F(SetupStep, AnOddFileInATrustedFolderIsMendedInPlaceAndTheFolderKept)
{
    const std::string OTHER = "C:\\NuvexKV-other.nkv";
    write_bytes(OTHER, "another user's file");
    ASSERT_TRUE(CreateHardLinkA(SETTING.c_str(), OTHER.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(CONFIG.c_str(), nullptr));
    EXPECT_TRUE(secure_setting_folder(0, L"2hr")) << lines;
    EXPECT_EQ("", set_aside(false));
    EXPECT_TRUE(logged(L"shutdownafter.nkv, a link or a file with other names, lost that name.")) << lines;
    EXPECT_TRUE(logged(L"shutdownaftersetting.nkv, a folder, set aside in it as shutdownaftersetting.nkv.folder-"))
        << lines;
    EXPECT_EQ("another user's file", read_bytes(OTHER));
    EXPECT_EQ("", read_bytes(SETTING)) << "made afresh";
    EXPECT_EQ("Setting=2hr", read_bytes(CONFIG));
    FolderFound found{};
    HANDLE made = open_folder(SETTING_FOLDER_PATH_W, &found);
    EXPECT_EQ(static_cast<int>(Trust::trusted), static_cast<int>(found.trust)) << "its files plain again";
    CloseHandle(made);
    DeleteFileA(OTHER.c_str());
}

TEST_F(SetupStep, AFolderThatCannotBeHeldFailsTheStepSayingWhy)
{
    write_bytes(SETTING, "Setting=2hr");
    FileHolder holder(SETTING_FOLDER_PATH_A, false);
    EXPECT_FALSE(secure_setting_folder(0, L""));
    EXPECT_TRUE(logged(L"c:\\NuvexKV could not be looked at, nothing was changed: ")) << lines;
    EXPECT_TRUE(logged(L"(Windows error 32).")) << lines;
    holder.release();
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING));
    EXPECT_EQ("", set_aside(false));
}

TEST_F(SetupStep, RemovalClearsInAnUpgradeAndElseDeletesOnlyInATrustedFolder)
{
    write_bytes(SETTING, "Setting=2hr");
    SetFileAttributesA(SETTING.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    clear_setting_folder(0);
    EXPECT_EQ("Setting=", read_bytes(SETTING)) << "an upgrade leaves nothing pending, and the file";
    EXPECT_EQ(0u, GetFileAttributesA(SETTING.c_str()) & REWRITE_REFUSING_MARKS);
    // Deleted before an upgrade, the file is not made by the old version's removal, where
    // it would take the folder's rights (users may only read), but by the new version's
    // step, with its own.
    DeleteFileA(SETTING.c_str());
    clear_setting_folder(0);
    EXPECT_FALSE(file_exists(SETTING));
    EXPECT_TRUE(secure_setting_folder(0, L""));
    EXPECT_TRUE(logged(L"c:\\NuvexKV\\shutdownafter.nkv made, 0 bytes.")) << lines;

    write_bytes(CONFIG, "Setting=2hr");
    release_setting_folder(0);
    EXPECT_FALSE(file_exists(SETTING));
    EXPECT_TRUE(logged(L"c:\\NuvexKV stays, with what else it holds.")) << lines;
    DeleteFileA(CONFIG.c_str());
    release_setting_folder(0);
    EXPECT_FALSE(file_exists(SETTING_FOLDER_PATH_A)) << lines;

    make_setting_folder();
    write_bytes(SETTING, "Setting=2hr");
    open_to_everyone(SETTING_FOLDER_PATH_A);
    release_setting_folder(0);
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING)) << "nothing is touched in a folder users may change";
}

} // namespace
