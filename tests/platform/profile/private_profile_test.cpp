// SPDX-License-Identifier: Apache-2.0
#include "platform/profile/PrivateProfile.h"
#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A zero-separated entry list ended by a further zero, as both calls use.
std::u16string List(const std::vector<std::u16string>& entries) {
    std::u16string text;
    for (const std::u16string& entry : entries) {
        text.append(entry).push_back(0);
    }
    return text + u'\0';
}

// Reads a section the way the settings loader does: a buffer of 512 units
// plus two, grown by 512 while the call reports that it did not fit.
std::u16string ReadSection(const std::u16string& section, const std::u16string& file,
                           int* attempts = nullptr) {
    int ignored = 0;
    int& tries = attempts != nullptr ? *attempts : ignored;
    std::u16string buffer(514, u'\0');
    for (tries = 1;; ++tries, buffer.resize(buffer.size() + 512)) {
        const auto size = static_cast<DWORD>(buffer.size());
        const DWORD n =
            GetPrivateProfileSectionW(section.c_str(), buffer.data(), size, file.c_str());
        if (n != size - 2) {
            return buffer.substr(0, n + 1); // the list with its final zero
        }
    }
}

class PrivateProfile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dravik-profile-XXXXXX").string();
        m_dir = ::mkdtemp(pattern.data());
        ::setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
        m_file = m_dir + "/settings.ini";
        m_name = Utf8ToUtf16(m_file);
    }
    void TearDown() override {
        m_home.empty() ? ::unsetenv("HOME") : ::setenv("HOME", m_home.c_str(), 1);
        fs::remove_all(m_dir);
    }

    void Put(const std::string& bytes) const { std::ofstream(m_file, std::ios::binary) << bytes; }
    std::string Contents() const {
        std::ostringstream out;
        out << std::ifstream(m_file, std::ios::binary).rdbuf();
        return out.str();
    }
    BOOL Write(const std::u16string& section, const std::vector<std::u16string>& entries,
               const std::u16string& file = u"") const {
        return WritePrivateProfileSectionW(section.c_str(), List(entries).c_str(),
                                           (file.empty() ? m_name : file).c_str());
    }

    const std::string m_home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    std::string m_dir;
    std::string m_file;
    std::u16string m_name;
};

// Entries come back as stored, in file order, whatever the line ends; only
// A to Z fold in section names; a byte order mark does not hide the first
// header; bad bytes read as U+FFFD, one per broken sequence, and a zero byte
// does not split its entry.
TEST_F(PrivateProfile, EntriesComeBackAsStoredInFileOrder) {
    const std::string lf = "; choices per user\n[Other]\nNews=1\n[ver_1.0_JDOE]\nNews=5\nMain=-1\n"
                           "Empty=\nNoEquals\n\nNews=2\na=b=c\n  ; a comment is no entry\n";
    const std::vector<std::u16string> jdoe = {u"News=5",   u"Main=-1", u"Empty=",
                                              u"NoEquals", u"News=2",  u"a=b=c"};
    const std::tuple<std::string, std::u16string, std::vector<std::u16string>> rows[] = {
        {lf, u"VER_1.0_jdoe", jdoe},
        {std::regex_replace(lf, std::regex("\n"), "\r\n"), u"VER_1.0_jdoe", jdoe},
        {"[\xc3\x9cser]\nx=1\n", u"\u00fcser", {}},
        {"[\xc3\x9cser]\nx=1\n", u"\u00dcSER", {u"x=1"}},
        {"\xEF\xBB\xBF[S]\nx=1\n", u"S", {u"x=1"}},
        {"[T]\na=1\n[S]\n", u"S", {}},
        {"[T]\na=1\n[S]\n", u"U", {}},
        {"[S]\nk=\xff\xe2\x82"
         "A\nz=\0!\n"s,
         u"S",
         {u"k=\uFFFD\uFFFDA", u"z=\uFFFD!"}},
    };
    for (const auto& [bytes, section, entries] : rows) {
        Put(bytes);
        EXPECT_EQ(ReadSection(section, m_name), List(entries)) << bytes;
    }
    Put("\xEF\xBB\xBF[S]\nx=1\n");
    ASSERT_TRUE(Write(u"S", {u"x=2"})); // the byte order mark stays
    EXPECT_EQ(Contents(), "\xEF\xBB\xBF[S]\nx=2\n");
}

TEST_F(PrivateProfile, MissingFileReadsEmptyAndALargeSectionReportsSizeLessTwo) {
    char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
    fs::remove(m_file);
    EXPECT_EQ(GetPrivateProfileSectionW(u"S", buffer, 4, m_name.c_str()), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(std::u16string(buffer, 2), std::u16string(2, u'\0'));

    std::vector<std::u16string> entries(80);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i] = u"Subscription" + Utf8ToUtf16(std::to_string(i)) + u"=2";
    }
    ASSERT_TRUE(Write(u"S", entries));
    const std::u16string whole = List(entries);
    std::u16string small(100, u'x');
    EXPECT_EQ(GetPrivateProfileSectionW(u"S", small.data(), 100, m_name.c_str()), 98u);
    EXPECT_EQ(small, whole.substr(0, 98) + std::u16string(2, u'\0')); // cut, what fits is right
    // Exactly enough room (list plus final zero) is not a cut.
    std::u16string exact(whole.size(), u'x');
    EXPECT_EQ(GetPrivateProfileSectionW(u"S", exact.data(), static_cast<DWORD>(exact.size()),
                                        m_name.c_str()),
              whole.size() - 1);
    EXPECT_EQ(exact, whole);
    int attempts = 0;
    EXPECT_EQ(ReadSection(u"S", m_name, &attempts), whole);
    EXPECT_GT(attempts, 1);
}

TEST_F(PrivateProfile, RewriteKeepsEverythingElseByteForByte) {
    const std::string top = "; top comment\r\n[A]\r\nx=1\r\n\r\n[Target]\n; about target\n";
    const std::string rest = "\n; about C\n[C]\nbad=\xff\xfe\nlast line without ending";
    Put(top + "old=1\n; between\nold2\n" + rest);
    ASSERT_TRUE(Write(u"target", {u"new=1", u"new2=0"}));
    const std::string after = top + "new=1\nnew2=0\n" + rest;
    EXPECT_EQ(Contents(), after);
    ASSERT_TRUE(Write(u"Fresh", {u"k=v"}));
    EXPECT_EQ(Contents(), after + "\n[Fresh]\nk=v\n");
    ASSERT_TRUE(Write(u"A", {}));
    std::string emptied = after + "\n[Fresh]\nk=v\n";
    emptied.erase(emptied.find("x=1\r\n"), 5); // the header and the blank line stay
    EXPECT_EQ(Contents(), emptied);
}

TEST_F(PrivateProfile, TextIsUtf8OnDisk) {
    const std::u16string section = u"VER_1.0_J\u00fcrgen";
    const std::vector<std::u16string> entries = {u"Nachrichten \u20ac=2", u"\U0001F600=1"};
    ASSERT_TRUE(Write(section, entries));
    EXPECT_EQ(Contents(), "[VER_1.0_J\xc3\xbcrgen]\nNachrichten \xe2\x82\xac=2\n"
                          "\xf0\x9f\x98\x80=1\n");
    EXPECT_EQ(ReadSection(section, m_name), List(entries));

    // A lone surrogate is stored as U+FFFD.
    ASSERT_TRUE(Write(u"S", {std::u16string(1, char16_t(0xD800)) + u"=1"}));
    EXPECT_TRUE(Contents().ends_with("\n[S]\n\xef\xbf\xbd=1\n"));
}

TEST_F(PrivateProfile, StoresOnlyWhatReadsBackTheSame) {
    Put("[S]\na=1\n[Other]\nb=2\n");
    for (const char16_t* bad : {u"x=1\n[Other]", u"x=1\r", u"; x=1", u" [Other]", u"  "}) {
        SetLastError(0);
        EXPECT_FALSE(Write(u"S", {u"ok=1", bad}));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(Write(u"S\n[Other]", {u"ok=1"}));
    EXPECT_EQ(Contents(), "[S]\na=1\n[Other]\nb=2\n");
    ASSERT_TRUE(Write(u"S", {u"[half=1", u"#x=1"})); // no "]" means no header
    EXPECT_EQ(ReadSection(u"S", m_name), List({u"[half=1", u"#x=1"}));
    ASSERT_TRUE(Write(u"VER_1.0_a]b", {u"k=1"})); // a user name may hold "]"
    EXPECT_EQ(ReadSection(u"VER_1.0_a]b", m_name), List({u"k=1"}));
    EXPECT_EQ(ReadSection(u"VER_1.0_a", m_name), List({}));
}

TEST_F(PrivateProfile, BareNamesLiveInAPrivateConfigurationDirectory) {
    EXPECT_EQ(GetPrivateProfilePath(u"dravik.ini"), m_dir + "/dravik/dravik.ini");
    ASSERT_TRUE(Write(u"S", {u"a=1"}, u"dravik.ini"));
    EXPECT_EQ(ReadSection(u"S", u"dravik.ini"), List({u"a=1"}));
    struct stat st {};
    ASSERT_EQ(::stat((m_dir + "/dravik").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(GetPrivateProfilePath(u"./x.ini"), "./x.ini");

    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1); // ignored: not absolute
    ::setenv("HOME", m_dir.c_str(), 1);
    EXPECT_EQ(GetPrivateProfilePath(u"dravik.ini"), m_dir + "/.config/dravik/dravik.ini");
    // A folder that cannot be made fails the write: proven for a bare name,
    // with its reason, by the command's warning.
    EXPECT_FALSE(Write(u"S", {u"a=1"}, Utf8ToUtf16(m_dir + "/no/such/dir.ini")));
    EXPECT_FALSE(fs::exists(m_dir + "/no"));
}

TEST_F(PrivateProfile, WriteThroughSymlinkKeepsLinkAndMode) {
    Put("[S]\na=1\n");
    ::chmod(m_file.c_str(), 0644);
    const std::string link = m_dir + "/link.ini";
    fs::create_symlink(m_file, link);
    ASSERT_TRUE(Write(u"S", {u"a=2"}, Utf8ToUtf16(link)));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(), "[S]\na=2\n");
    EXPECT_EQ(fs::status(m_file).permissions(), fs::perms(0644));
}

// Several processes save their own sections at once while the parent saves
// and reads: every read sees a whole section, and at the end each section
// holds its last write, so no writer lost another's change.
TEST_F(PrivateProfile, ConcurrentWritersLoseNothing) {
    constexpr int kChildren = 4;
    constexpr int kRounds = 20;
    const std::u16string pad = u"Pad=" + std::u16string(300, u'p');
    const auto entries = [&](int owner, int round) {
        return std::vector<std::u16string>{u"Round=" + Utf8ToUtf16(std::to_string(round)),
                                           u"Owner=" + Utf8ToUtf16(std::to_string(owner)), pad};
    };
    const auto section = [](int owner) { return u"Writer" + Utf8ToUtf16(std::to_string(owner)); };
    std::vector<pid_t> children;
    for (int k = 1; k <= kChildren; ++k) {
        children.push_back(::fork());
        if (children.back() == 0) {
            bool ok = true;
            for (int round = 0; round < kRounds; ++round) {
                ok = Write(section(k), entries(k, round)) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
    }
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_TRUE(Write(section(0), entries(0, round)));
        const std::u16string seen = ReadSection(section(1), m_name);
        EXPECT_TRUE(seen == List({}) || seen.ends_with(List({u"Owner=1", pad})));
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int k = 0; k <= kChildren; ++k) {
        EXPECT_EQ(ReadSection(section(k), m_name), List(entries(k, kRounds - 1)));
    }
    // The file and its lock file; no temporary file left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);
}

} // namespace
