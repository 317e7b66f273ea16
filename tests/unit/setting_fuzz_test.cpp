// Generated setting files of every shape through the reading and token rules: whatever the
// bytes, the reader stays inside its buffer and ends the line within its limit; where the
// generator made the last line a known one, that duration comes out, and where it made it
// a near miss, nothing does.
#include "setting_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>

namespace {

constexpr int FILES_TO_TRY = 20000;
constexpr unsigned SEED = 20261208;

const char* const TOKENS[] = {"5mins", "30mins", "1hr", "2hr", "4hr"};
const DWORD DURATIONS[] = {300000, 1800000, 3600000, 7200000, 14400000};
const char* const NEAR_TOKENS[] = {"5min", "30Mins", "1HR", "2hr ", "4hr\r", " 1hr", "3hr",
                                   "1hr\t", "30minss", "5mins\x80", "hr", "4"};

struct Guarded {
    char line[LINE_BUFFER_SIZE];
    char after[64];
};

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    int below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    // A piece of noise: any byte at all, with line breaks, NULs and high bytes favoured.
    std::string noise(int length, bool text_only)
    {
        static const char favoured[] = {'\n', '\r', '\0', '\x1a', '\x80', '\xff', 'S', '=', ' '};
        std::string bytes;
        for (int i = 0; i < length; ++i) {
            char c = below(3) == 0 ? favoured[below(sizeof(favoured))] : static_cast<char>(below(256));
            if (text_only && c == '\x1a')
                c = 'z'; // Ctrl-Z would end the text before the known last line
            bytes += c;
        }
        return bytes;
    }

    // Eight characters the reader skips: anything but a line break, NUL or Ctrl-Z.
    std::string prefix()
    {
        if (below(2) == 0)
            return "Setting=";
        std::string bytes;
        while (bytes.size() < 8) {
            char c = static_cast<char>(below(256));
            if (c != '\n' && c != '\r' && c != '\0' && c != '\x1a')
                bytes += c;
        }
        return bytes;
    }

    std::string line_of_noise() { return noise(below(2) == 0 ? below(40) : below(3000), false); }

private:
    std::mt19937 random_;
};

TEST(SettingFuzz, GeneratedFilesStayInsideTheBufferAndGiveKnownResults)
{
    remove_setting_folder();
    make_setting_folder();
    Generator generate(SEED);
    int known = 0, near_misses = 0;
    constexpr int NOTHING = -2, ANYTHING = -1;

    for (int i = 0; i < FILES_TO_TRY; ++i) {
        std::string bytes;
        int expect = ANYTHING; // else NOTHING, or an index into DURATIONS
        switch (generate.below(4)) {
        case 0: // pure noise
            bytes = generate.line_of_noise();
            break;
        case 1: // noise, then a known last line
            bytes = generate.noise(generate.below(2500), true) + "\n";
            expect = generate.below(5);
            bytes += generate.prefix() + TOKENS[expect];
            break;
        case 2: // noise, then a near-token last line
            bytes = generate.noise(generate.below(200), true) + "\n" + generate.prefix() +
                    NEAR_TOKENS[generate.below(sizeof(NEAR_TOKENS) / sizeof(NEAR_TOKENS[0]))];
            expect = NOTHING;
            break;
        default: // a token somewhere in noise, with noise after it
            bytes = generate.noise(generate.below(100), false) + "Setting=" +
                    TOKENS[generate.below(5)] + generate.noise(1 + generate.below(50), false);
            break;
        }
        write_bytes(SETTING_FILE_PATH_A, bytes);

        Guarded guarded;
        memset(guarded.after, 0xa5, sizeof(guarded.after));
        guarded.line[0] = '\0';
        memset(guarded.line + 1, 0x77, sizeof(guarded.line) - 1);

        ASSERT_TRUE(read_setting_line(SETTING_FILE_PATH_A, guarded.line)) << "file " << i;
        for (unsigned char c : guarded.after)
            ASSERT_EQ(0xa5, c) << "written after the buffer, file " << i;
        ASSERT_NE(nullptr, memchr(guarded.line, '\0', 1023)) << "no terminator inside the read limit, file " << i;

        DWORD duration = 0;
        const char* token = setting_token(guarded.line);
        bool has_duration = token != nullptr && token_to_duration(token, &duration);
        if (expect == NOTHING) {
            ++near_misses;
            ASSERT_FALSE(has_duration) << "file " << i << " ends in a near miss, read as " << duration;
        }
        if (expect >= 0) {
            ++known;
            ASSERT_TRUE(has_duration) << "file " << i << " ends in a known line";
            ASSERT_EQ(DURATIONS[expect], duration) << "file " << i;
        }
    }
    // Each kind is about a quarter of the files: a generator that stopped making one fails here.
    EXPECT_GE(known, FILES_TO_TRY / 5) << "files with a known last line";
    EXPECT_GE(near_misses, FILES_TO_TRY / 5) << "files with a near miss";
    EXPECT_GE(FILES_TO_TRY - known - near_misses, 2 * FILES_TO_TRY / 5) << "files of noise, a token inside or not";
    remove_setting_folder();
}

} // namespace
