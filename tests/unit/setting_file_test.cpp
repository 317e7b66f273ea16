// The reading, token and writing rules of the setting file, on real files.
#include "setting_file.h"
#include "test_files.h"
#include "trusted_setting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string SETTING = SETTING_FILE_PATH_A;

class SettingFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
    }
    void TearDown() override { remove_setting_folder(); }

    // What the service makes of the file: the duration, or 0 for "nothing pending".
    static DWORD pending_duration()
    {
        char line[LINE_BUFFER_SIZE] = "";
        if (!read_setting_line(SETTING_FILE_PATH_A, line))
            return 0;
        const char* token = setting_token(line);
        DWORD duration = 0;
        if (token == nullptr || !token_to_duration(token, &duration))
            return 0;
        return duration;
    }

    static std::string last_line()
    {
        char line[LINE_BUFFER_SIZE] = "";
        EXPECT_TRUE(read_setting_line(SETTING_FILE_PATH_A, line));
        return line;
    }
};

struct ContentCase {
    const char* name;
    std::string bytes;
    DWORD expected; // 0: nothing pending
};

TEST_F(SettingFile, ContentGivesDurationByTheRules)
{
    const ContentCase cases[] = {
        {"1hr", "Setting=1hr", 3600000},
        {"5mins", "Setting=5mins", 300000},
        {"30mins", "Setting=30mins", 1800000},
        {"2hr", "Setting=2hr", 7200000},
        {"4hr", "Setting=4hr", 14400000},
        {"bare prefix", "Setting=", 0},
        {"empty file", "", 0},
        {"token with line feed", "Setting=1hr\n", 0},
        {"token with CRLF", "Setting=1hr\r\n", 0},
        {"token with trailing space", "Setting=1hr ", 0},
        {"capitals", "Setting=1HR", 0},
        {"any eight characters", "abcdefgh4hr", 14400000},
        {"prefix not compared", "setting:2hr", 7200000},
        {"ten bytes", "Setting=1h", 0},
        {"last line counts", "Setting=4hr\nSetting=2hr\nSetting=1hr", 3600000},
        {"earlier lines ignored", "Setting=1hr\nSetting=", 0},
        {"CRLF lines, last counts", "Setting=2hr\r\nSetting=30mins", 1800000},
        {"an empty last line", "Setting=2hr\n\n", 0},
        {"NUL ends the text of a line", std::string("Setting=1hr\0junk", 16), 3600000},
        {"NUL inside the prefix", std::string("Set\0ting=1hr", 12), 0},
        {"Ctrl-Z ends a text file", "Setting=5mins\x1aSetting=4hr", 300000},
        {"bytes above 127", "Setting=1hr\xe9", 0},
        {"5mins near-miss", "Setting=5min", 0},
    };
    for (const ContentCase& c : cases) {
        write_bytes(SETTING, c.bytes);
        EXPECT_EQ(c.expected, pending_duration()) << c.name;
    }
}

TEST_F(SettingFile, MissingFileOrFolderIsNotOpenedAndLeavesBufferAlone)
{
    char line[LINE_BUFFER_SIZE] = "";
    EXPECT_FALSE(read_setting_line(SETTING_FILE_PATH_A, line));
    EXPECT_STREQ("", line);

    remove_setting_folder();
    EXPECT_FALSE(read_setting_line(SETTING_FILE_PATH_A, line));
    EXPECT_STREQ("", line);
    EXPECT_EQ(WRITE_FAILED, write_setting("1hr"));
    EXPECT_FALSE(file_exists(SETTING_FOLDER_PATH_A)) << "writing must not create the folder";
}

TEST_F(SettingFile, LongLinesAndLargeFilesLeaveOnlyTheirLastPiece)
{
    // 1022 bytes fill one piece exactly; the token that follows is a piece of its own.
    write_bytes(SETTING, std::string(1022, 'a') + "Setting=1hr");
    EXPECT_EQ("Setting=1hr", last_line());
    EXPECT_EQ(3600000u, pending_duration());

    // One byte fewer, and the first piece takes the token's first byte with it.
    write_bytes(SETTING, std::string(1021, 'a') + "Setting=1hr");
    EXPECT_EQ("etting=1hr", last_line());
    EXPECT_EQ(0u, pending_duration());

    // A line far longer than the buffer never overruns it, and a large file gives its last.
    write_bytes(SETTING, std::string(5000, 'x'));
    EXPECT_EQ(5000u % 1022u, last_line().size());
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += "Setting=30mins\n";
    write_bytes(SETTING, bytes + "Setting=4hr");
    EXPECT_EQ(14400000u, pending_duration());
}

TEST(SettingTokens, TokenIsTakenFromIndexEightOfLinesOfElevenBytesOrMore)
{
    EXPECT_EQ(nullptr, setting_token(""));
    EXPECT_EQ(nullptr, setting_token("Setting="));
    EXPECT_EQ(nullptr, setting_token("Setting=1h"));
    const char eleven[] = "Setting=1hr";
    EXPECT_EQ(eleven + 8, setting_token(eleven));
}

TEST(SettingTokens, DurationsMapBackToTokens)
{
    EXPECT_STREQ("30mins", duration_to_token(1800000));
    EXPECT_STREQ("1hr", duration_to_token(3600000));
    EXPECT_STREQ("2hr", duration_to_token(7200000));
    EXPECT_STREQ("4hr", duration_to_token(14400000));
    EXPECT_STREQ("4hr", duration_to_token(0));
    EXPECT_STREQ("4hr", duration_to_token(300000));

    // Every token the table knows comes back to itself, but for 5mins, which the prompt
    // writes directly.
    for (const char* token : {"30mins", "1hr", "2hr", "4hr"}) {
        DWORD duration = 0;
        ASSERT_TRUE(token_to_duration(token, &duration));
        EXPECT_STREQ(token, duration_to_token(duration));
    }
}

TEST_F(SettingFile, WritingReplacesTheWholeFileWithoutTerminator)
{
    write_bytes(SETTING, std::string(3000, 'z') + "\nSetting=4hr\n");
    // Marks that would refuse the rewrite go first.
    SetFileAttributesA(SETTING_FILE_PATH_A, REWRITE_REFUSING_MARKS);
    EXPECT_EQ(WRITE_OK, write_setting("2hr"));
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING));
    EXPECT_EQ(0u, GetFileAttributesA(SETTING_FILE_PATH_A) & REWRITE_REFUSING_MARKS);

    EXPECT_EQ(WRITE_OK, write_setting(""));
    EXPECT_EQ("Setting=", read_bytes(SETTING));

    // A token is written as text, never taken as a format.
    EXPECT_EQ(WRITE_OK, write_setting("%s%n"));
    EXPECT_EQ("Setting=%s%n", read_bytes(SETTING));
}

TEST_F(SettingFile, FileHeldByAnotherProgramFailsToOpen)
{
    write_bytes(SETTING, "Setting=2hr");
    {
        FileHolder exclusive(SETTING, false);
        char line[LINE_BUFFER_SIZE] = "";
        EXPECT_FALSE(read_setting_line(SETTING_FILE_PATH_A, line));
        EXPECT_STREQ("", line);
        EXPECT_EQ(WRITE_FAILED, write_setting(""));
    }
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING));

    // Held by a reader that lets readers in: it reads, but cannot be written.
    FileHolder reader(SETTING, true);
    EXPECT_EQ(7200000u, pending_duration());
    EXPECT_EQ(WRITE_FAILED, write_setting(""));
    reader.release();
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING));
}

// The writer follows no link and writes in no folder another user could have made or may
// change: under Wine such a folder is one of mode 0777, and a second name of the file can
// be made here (a hard link made by another user points at his own file).
TEST_F(SettingFile, OnlyAPlainFileInATrustedFolderIsWritten)
{
    const std::string OTHER = "C:\\NuvexKV-other.txt";
    ASSERT_TRUE(CreateDirectoryA(SETTING_FILE_PATH_A, nullptr));
    char line[LINE_BUFFER_SIZE] = "";
    EXPECT_FALSE(read_setting_line(SETTING_FILE_PATH_A, line));
    EXPECT_EQ(WRITE_FAILED, write_setting("1hr")) << "a folder in its place";
    RemoveDirectoryA(SETTING_FILE_PATH_A);

    write_bytes(OTHER, "another user's file");
    ASSERT_TRUE(CreateHardLinkA(SETTING_FILE_PATH_A, OTHER.c_str(), nullptr));
    EXPECT_EQ(WRITE_FAILED, write_setting("1hr")) << "a second name";
    EXPECT_EQ("another user's file", read_bytes(OTHER));
    DeleteFileA(SETTING_FILE_PATH_A);
    DeleteFileA(OTHER.c_str());

    write_bytes(SETTING, "Setting=2hr");
    open_to_everyone(SETTING_FOLDER_PATH_A);
    EXPECT_EQ(WRITE_FAILED, write_setting("")) << "a folder every user may change";
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING));
}

} // namespace
