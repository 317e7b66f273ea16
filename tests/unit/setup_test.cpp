// The package's SYSTEM step: what it does with whatever stands at C:\NuvexKV, which files
// it reads, and the rights it gives what it makes. (Wine keeps no access lists: the
// descriptors are checked as built, never read back from disk.)
#include "folder_decision.h"
#include "folder_rights.h"

#include <gtest/gtest.h>
#include <sddl.h>

namespace {

struct FolderCase {
    const char* name;
    FolderSeen seen;
    FolderStep step;
    const wchar_t* what;
};

TEST(SetupFolder, WhatStandsThereDecidesKeepMoveAsideCreateOrRefuse)
{
    const FolderCase cases[] = {
        {"nothing", {Entry::missing, Entry::missing, false}, FolderStep::create, nullptr},
        {"the package's own folder", {Entry::directory, Entry::directory, true}, FolderStep::keep, nullptr},
        {"another's folder", {Entry::directory, Entry::directory, false}, FolderStep::move_aside, L"folder"},
        {"a link, opened as itself", {Entry::link, Entry::link, false}, FolderStep::move_aside, L"link"},
        {"a file", {Entry::file, Entry::file, false}, FolderStep::move_aside, L"file"},
        {"a link opened as its target", {Entry::link, Entry::directory, true}, FolderStep::refuse, nullptr},
        {"a folder turned link meanwhile", {Entry::directory, Entry::link, false}, FolderStep::refuse, nullptr},
        {"gone meanwhile", {Entry::directory, Entry::missing, false}, FolderStep::refuse, nullptr},
    };
    for (const FolderCase& c : cases) {
        FolderDecision decision = decide_folder(c.seen);
        EXPECT_EQ(static_cast<int>(c.step), static_cast<int>(decision.step)) << c.name;
        EXPECT_STREQ(c.what, decision.what) << c.name;
    }
}

TEST(SetupFolder, OnlyAPlainFileWithOneNameOfASensibleSizeCarriesOver)
{
    EXPECT_TRUE(carries_over({Entry::file, Entry::file, 1, LARGEST_CARRIED_FILE}));
    EXPECT_FALSE(carries_over({Entry::file, Entry::file, 2, 11})) << "a hard link";
    EXPECT_FALSE(carries_over({Entry::link, Entry::link, 1, 0})) << "a link";
    EXPECT_FALSE(carries_over({Entry::file, Entry::link, 1, 0})) << "a link seen through its handle";
    EXPECT_FALSE(carries_over({Entry::directory, Entry::directory, 1, 0})) << "a folder";
    EXPECT_FALSE(carries_over({Entry::file, Entry::file, 1, LARGEST_CARRIED_FILE + 1})) << "too large";
}

TEST(SetupFolder, OnlyTheLaunchersFourDelaysAreTakenExactly)
{
    for (const wchar_t* word : {L"30mins", L"1hr", L"2hr", L"4hr"})
        EXPECT_TRUE(is_launcher_delay(word)) << word;
    for (const wchar_t* word : {L"5mins", L"2HR", L"2hr ", L"", L"C:\\x", L"Setting=2hr"})
        EXPECT_FALSE(is_launcher_delay(word)) << word;
}

TEST(SetupFolder, TheSetAsideNameSaysWhatAndWhen)
{
    const SYSTEMTIME when = {2026, 12, 2, 8, 20, 5, 9, 0};
    wchar_t name[MAX_PATH];
    aside_name(L"c:\\NuvexKV", L"link", when, 0, name, MAX_PATH);
    EXPECT_STREQ(L"c:\\NuvexKV.link-20261208-200509", name);
    aside_name(L"c:\\NuvexKV", L"link", when, 3, name, MAX_PATH);
    EXPECT_STREQ(L"c:\\NuvexKV.link-20261208-200509-3", name);
}

// The entry a well-known trustee has in a descriptor's access list.
const ACCESS_ALLOWED_ACE* ace_of(PSECURITY_DESCRIPTOR descriptor, WELL_KNOWN_SID_TYPE trustee)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    for (WORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && IsWellKnownSid(&ace->SidStart, trustee))
            return ace;
    }
    return nullptr;
}

struct RightsCase {
    Guarded what;
    const char* name;
    DWORD users;
    BYTE inherited_by;
};

TEST(SetupRights, AdministratorsOwnWhatIsMadeAndUsersGetOnlyTheirShare)
{
    const RightsCase cases[] = {
        {Guarded::folder, "the folder: list, traverse, read what is put there",
         FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {Guarded::setting_file, "the setting file: read and rewrite with fopen",
         FILE_GENERIC_READ | FILE_GENERIC_WRITE, 0},
        {Guarded::launcher_config, "the launcher's configuration: read", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, 0},
    };
    for (const RightsCase& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = make_security(c.what);
        ASSERT_NE(nullptr, descriptor) << c.name;
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) << c.name;
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << c.name << ": nothing inherited from C:\\";
        for (WELL_KNOWN_SID_TYPE full : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
            const ACCESS_ALLOWED_ACE* ace = ace_of(descriptor, full);
            ASSERT_NE(nullptr, ace) << c.name;
            EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask) << c.name;
        }
        const ACCESS_ALLOWED_ACE* users = ace_of(descriptor, WinBuiltinUsersSid);
        ASSERT_NE(nullptr, users) << c.name;
        EXPECT_EQ(c.users, users->Mask) << c.name << ": no delete, rights, owner, or adding";
        EXPECT_EQ(c.inherited_by, users->Header.AceFlags) << c.name;
        LocalFree(descriptor);
    }
}

TEST(SetupRights, AFolderIsThePackagesOwnOnlyWithItsOwnerAndExactlyItsRights)
{
    const wchar_t* own = guarded_sddl(Guarded::folder);
    const struct {
        const wchar_t* sddl;
        bool own;
    } cases[] = {
        {own, true},
        {L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true},
        {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false},
        {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200af;;;BU)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIID;0x1200a9;;;BU)", false},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", false},
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;FA;;;CO)", false},
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        EXPECT_EQ(c.own, folder_is_own(owner, dacl, control)) << c.sddl;
        LocalFree(descriptor);
    }
}

} // namespace
