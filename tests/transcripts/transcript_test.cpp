// Runs the transcripts of this folder against the simulator. A transcript file holds sessions:
//
//   === name                 starts a session (one simulator run)
//   @program zefo5-vga       the program (default zefo5)
//   @args --max-ms 5000      extra simulator options ($SRC: this folder)
//   @event 100 touch 10 10   a line of the simulator's --events file
//   > text                   bytes the host sends (C escapes: \r \n \t \e \xHH \\; no implicit CR)
//   < text                   bytes the display must send (same escapes)
//   <~ N                     N bytes of any value (for replies that depend on the machine)
//   # comment
//
// The whole output of a run must equal the concatenated expectations, byte for byte.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char **environ;

namespace {

struct Expect {
    std::string bytes; // literal bytes, or empty with `any` > 0
    size_t any = 0;
};

struct Session {
    std::string file, name;
    int line = 0;
    std::string program = "zefo5";
    std::vector<std::string> args;
    std::string input, events;
    std::vector<Expect> expect;
};

std::string unescape(const std::string &s, const std::string &where) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i >= s.size()) throw std::runtime_error(where + ": backslash at end of line");
        switch (s[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'e':
            out += '\x1b';
            break;
        case '0':
            out += '\0';
            break;
        case '\\':
            out += '\\';
            break;
        case 's':
            out += ' ';
            break; // a blank that would otherwise be invisible at a line end
        case 'x':
            if (i + 2 >= s.size()) throw std::runtime_error(where + ": short \\x");
            out += (char)std::stoi(s.substr(i + 1, 2), nullptr, 16);
            i += 2;
            break;
        default:
            throw std::runtime_error(where + ": unknown escape \\" + s[i]);
        }
    }
    return out;
}

std::vector<Session> loadSessions() {
    std::vector<Session> all;
    std::vector<std::filesystem::path> files;
    for (auto &e : std::filesystem::directory_iterator(TRANSCRIPT_DIR))
        if (e.path().extension() == ".txt" && e.path().filename() != "CMakeLists.txt")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (auto &path : files) {
        std::ifstream in(path);
        std::string text;
        int lineNo = 0;
        Session *cur = nullptr;
        while (std::getline(in, text)) {
            lineNo++;
            std::string where = path.filename().string() + ":" + std::to_string(lineNo);
            if (text.empty() || text[0] == '#') continue;
            if (text.rfind("=== ", 0) == 0) {
                all.push_back(Session{});
                cur = &all.back();
                cur->file = path.stem().string();
                cur->name = text.substr(4);
                cur->line = lineNo;
                continue;
            }
            if (!cur) throw std::runtime_error(where + ": text before the first === session");
            if (text.rfind("@program ", 0) == 0) {
                cur->program = text.substr(9);
            } else if (text.rfind("@args ", 0) == 0) {
                std::istringstream words(text.substr(6));
                for (std::string w; words >> w;) {
                    // $SRC names this folder, for files kept beside the transcripts.
                    if (w.rfind("$SRC", 0) == 0) w = std::string(TRANSCRIPT_DIR) + w.substr(4);
                    cur->args.push_back(w);
                }
            } else if (text.rfind("@event ", 0) == 0) {
                cur->events += text.substr(7) + "\n";
            } else if (text.rfind("> ", 0) == 0 || text == ">") {
                cur->input += unescape(text.size() > 2 ? text.substr(2) : "", where);
            } else if (text.rfind("<~ ", 0) == 0) {
                cur->expect.push_back(Expect{"", (size_t)std::stoul(text.substr(3))});
            } else if (text.rfind("< ", 0) == 0 || text == "<") {
                cur->expect.push_back(Expect{unescape(text.size() > 2 ? text.substr(2) : "", where), 0});
            } else {
                throw std::runtime_error(where + ": unknown line: " + text);
            }
        }
    }
    return all;
}

std::string visible(const std::string &s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else
            out += (char)c;
    }
    return out;
}

std::string tempFile(const std::string &content) {
    char name[] = "/tmp/zefo5-transcript-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp");
    if (!content.empty() && write(fd, content.data(), content.size()) != (ssize_t)content.size())
        throw std::runtime_error("write");
    close(fd);
    return name;
}

// Runs the simulator with the session's input on standard input; returns what it wrote.
std::string runSimulator(const Session &s, int &status) {
    std::string inputFile = tempFile(s.input);
    std::string eventsFile = s.events.empty() ? "" : tempFile(s.events);
    std::string program = std::string(SIM_DIR) + "/" + s.program;
    // No window: a desktop would open one per session.
    std::vector<std::string> argv = {program, "--clock", "virtual", "--max-ms", "60000", "--display", "none"};
    if (!eventsFile.empty()) {
        argv.push_back("--events");
        argv.push_back(eventsFile);
    }
    argv.insert(argv.end(), s.args.begin(), s.args.end());
    std::vector<char *> cargv;
    for (auto &a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, inputFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &fa, nullptr, cargv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + program);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) got.append(buf, (size_t)n);
    close(out[0]);
    waitpid(pid, &status, 0);
    unlink(inputFile.c_str());
    if (!eventsFile.empty()) unlink(eventsFile.c_str());
    return got;
}

// Compares with the expectations; returns an empty string on a match, else a description.
std::string compare(const std::vector<Expect> &expect, const std::string &got) {
    size_t pos = 0;
    std::string want;
    for (auto &e : expect) {
        if (e.any) {
            if (got.size() < pos + e.any) break;
            want += got.substr(pos, e.any);
            pos += e.any;
            continue;
        }
        want += e.bytes;
        pos += e.bytes.size();
    }
    if (want == got) return "";
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) at++;
    return "first difference at byte " + std::to_string(at) + "\n  expected: " + visible(want) +
           "\n  received: " + visible(got);
}

// Names a session in test listings instead of dumping its bytes.
void PrintTo(const Session &s, std::ostream *os) {
    *os << s.file << ".txt:" << s.line;
}

class Transcript : public testing::TestWithParam<Session> {};

TEST_P(Transcript, ExactBytes) {
    const Session &s = GetParam();
    int status = 0;
    std::string got = runSimulator(s, status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << s.file << ".txt:" << s.line << ": simulator ended with status " << status;
    std::string diff = compare(s.expect, got);
    EXPECT_EQ(diff, "") << s.file << ".txt:" << s.line << " (" << s.name << ")";
}

std::string testName(const testing::TestParamInfo<Session> &info) {
    std::string n = info.param.file + "_" + info.param.name;
    for (char &c : n)
        if (!isalnum((unsigned char)c)) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Wire, Transcript, testing::ValuesIn(loadSessions()), testName);

} // namespace
