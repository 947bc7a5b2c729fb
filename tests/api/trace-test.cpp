// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace, read back from its file: what each record shows, that no
// record is lost or torn whatever way the process ends, and that a call
// traced, refused or failing behaves as an untraced one.
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "FrontEnd.h"
#include "logging/TraceWriter.h"

namespace TrelvoTest {
namespace {

using Json = nlohmann::ordered_json;

std::string Hex(const void* pointer) {
    char text[32];
    snprintf(text, sizeof text, "%p", pointer);
    return text;
}

class TraceTest : public FrontEndTest {
protected:
    TraceTest() : m_fake(PlaceFake("complete", library())) {}

    // Traces into name, relative to the current directory work(); returns
    // the file's path for the process pid.
    std::string TraceTo(const std::string& name, pid_t pid = getpid()) {
        environment().set("TRELVOTRACE", name);
        return work() + "/" + std::regex_replace(name, std::regex("%p"), std::to_string(pid));
    }

    // Each line as the groups of the one layout it matches: "RECORD[ (in
    // NAME)]", "# pid P", "# summary of pid P", or a summary's row as "# NAME
    // CALLS FAILURES", the rows checked to come by total time, then sorted.
    static std::vector<std::string> TextRecords(const std::string& path) {
        static const std::regex kLine(
            R"(\d\d:\d\d:\d\d\.\d{6} \d+/\d+ (.*) <\d+\.\d{3}us>( \(in \w+\))?|)"
            R"((# pid \d+) start \d+ "trace-test" trace started \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z at )"
            R"(CLOCK_MONOTONIC \d+\.\d{6} s|(# summary of pid \d+) "trace-test", by total time|)"
            R"((#) time %    total us     mean us      max us    calls failures function|)"
            R"(# +\d+\.\d\d +(\d+)\.\d{3} +\d+\.\d{3} +\d+\.\d{3} +(\d+) +(\d+) (\w+))");
        std::vector<std::string> records;
        long rows = 0;
        unsigned long long previousTotal = 0;  // no row before the columns' names
        for (const std::string& line : ReadLines(path)) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, kLine)) << "unexpected line: " << line;
            if (m[5].matched) {
                rows = static_cast<long>(records.size());
                previousTotal = ULLONG_MAX;
            } else if (m[6].matched) {
                EXPECT_LE(std::stoull(m[6]), std::exchange(previousTotal, std::stoull(m[6])));
                records.push_back("# " + m[9].str() + " " + m[7].str() + " " + m[8].str());
                std::sort(records.begin() + rows, records.end());
            } else {
                records.push_back(m[1].str() + m[2].str() + m[3].str() + m[4].str());
            }
        }
        return records;
    }

    // Each event of a JSON trace, which is whole without its closing bracket
    // (or fails the test by the parser's exception), as the text layout shows
    // it, so that one expectation serves both: "# pid P" and "# thread NAME"
    // name a process and a thread, as they must before any event of theirs.
    static std::vector<std::string> JsonRecords(const std::string& path) {
        const auto shown = [](const Json& value) {  // hex numbers are strings; U+FFFD as text
            static const std::regex fffd("\xEF\xBF\xBD");
            const std::string text = std::regex_replace(value.dump(), fffd, R"(\ufffd)");
            return text.rfind("\"0x", 0) == 0 ? value.get<std::string>() : text;
        };
        std::vector<std::string> records;
        std::set<std::pair<int, int>> named;  // threads, and processes as thread 0
        for (const Json& event : Json::parse(ReadFile(path).value_or("") + "]")) {
            const int pid = event["pid"], tid = event["tid"];
            const Json& args = event["args"];
            const std::string name = event["name"];
            const bool process = name == "process_name", thread = name == "thread_name";
            if (process || thread) {
                named.insert({pid, process ? 0 : tid});
                EXPECT_TRUE(thread || (args["utc"].is_string() && args["ts"].is_number()));
                records.push_back(process ? "# pid " + std::to_string(pid)
                                          : "# thread " + args["name"].get<std::string>());
                continue;
            }
            EXPECT_TRUE(named.count({pid, 0}) && named.count({pid, tid})) << event;
            EXPECT_TRUE(event["ph"] == "X" && event["ts"].is_number() && event["dur"].is_number());
            if (event["cat"] == "front end") {
                records.push_back("-- " + name + " " + shown(args["path"]) + " (in " +
                                  args["in"].get<std::string>() + ")");
                continue;
            }
            std::string record = name + "(", separator;
            for (const auto& member : args.items()) {
                if (member.key() == "result") break;
                record += (member.key()[0] == '*' ? " -> " : std::exchange(separator, ", ")) +
                          shown(member.value());
            }
            record += ") = " + shown(args["result"]);
            if (args.contains("resultName")) record += " " + args["resultName"].get<std::string>();
            if (args.contains("frontEndCall")) {
                const Json& inner = args["frontEndCall"];
                record += " [by the front end: " + inner["name"].get<std::string>() + "(" +
                          (inner.contains("counter") ? "-> " + inner["counter"].dump() : "") +
                          ") = " + inner["result"].get<std::string>() + "]";
            }
            records.push_back(record);
        }
        return records;
    }

    const std::string m_fake;
};

using LayoutTest = TableTest<TraceTest, NamedCase>;

// Ill-formed UTF-8 becomes one U+FFFD per maximal subpart: after "é", a
// surrogate, two overlong forms, a value above U+10FFFF; after "😀", two
// sequences cut short.
constexpr char kMessage[] =
    "say \"hi\"\x01\xC3\xA9\xED\xA0\x80\xE0\x80\xAF\xF0\x80\x80"
    "\xF4\x90\x80\x80\xF0\x9F\x98\x80\xE2\x82\x41\xE2\x82";
#define TRELVO_FFFD3 "\\ufffd\\ufffd\\ufffd"
constexpr char kShownMessage[] =
    "\"say \\\"hi\\\"\\u0001\xC3\xA9" TRELVO_FFFD3 TRELVO_FFFD3 TRELVO_FFFD3 "\\ufffd" TRELVO_FFFD3
    "\xF0\x9F\x98\x80\\ufffdA\\ufffd\"";
#undef TRELVO_FFFD3

// Finds nothing, loads, fails a status call with a code of the
// implementation's own, unloads on the path setter (status 3), loads again,
// and unloads on the last client; then the front end goes, is loaded again in
// the same process, which appends (naming the process and thread again in
// JSON), and goes. An earlier run's file is emptied first.
TEST_P(LayoutTest, ShowsEachCallAndEventOfTheFrontEnd) {
    const bool json = GetParam().caseName == std::string("Json");
    const std::string file = json ? "trace.json" : "trace.txt", trace = TraceTo(file);
    root().write("work/" + file, "an earlier run's trace\n");
    uint32_t status = 0, lastClient = 0;
    const FrontEndExports& api = LoadFrontEnd();
    const std::string aside = m_fake + ".aside";
    ASSERT_EQ(rename(m_fake.c_str(), aside.c_str()), 0);
    EXPECT_EQ(api.VELT_GetService(7, nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
    ASSERT_EQ(rename(aside.c_str(), m_fake.c_str()), 0);
    FakeVelt_SetConnectionStatus(3);
    FakeVelt_SetLastClient(1);
    FakeVelt_SetErrorMessage(kMessage);
    EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_LOADED);
    EXPECT_EQ(api.VELT_ConnectWithURI(reinterpret_cast<VeltArg>(0x1234), nullptr), 0u);
    FakeVelt_SetResult(FAKE_VELT_GetConnectionStatus, TRELVO_E_NOT_LOADED);
    EXPECT_EQ(api.VELT_GetConnectionStatus(&status), TRELVO_E_NOT_LOADED);
    FakeVelt_SetResult(FAKE_VELT_GetConnectionStatus, 0);
    EXPECT_EQ(api.VELT_GetConnectionStatus(&status), 0u);
    EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), kMessage);
    EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(m_fake.c_str()), 0u);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
    EXPECT_EQ(api.VELT_GetConnectionStatus(nullptr), 0u);
    EXPECT_EQ(api.VELT_DisconnectIfLastClient(&lastClient), 0u);
    m_frontEnd->close();
    EXPECT_EQ(LoadFrontEnd().VELT_GetService(9, nullptr), 0u);
    m_frontEnd->close();

    char threadName[16] = "";  // an emulator's own name under one
    prctl(PR_GET_NAME, threadName);
    const std::string fake = "\"" + m_fake + "\"", pid = "# pid " + std::to_string(getpid());
    // Only JSON names threads, only text has summaries: "" where a layout has no line.
    const std::string thread = json ? std::string("# thread ") + threadName : "";
    const auto text = [json](const std::string& line) { return json ? "" : line; };
    std::vector<std::string> records{
        pid,
        thread,
        "VELT_GetService(7, null) = 0x8000000e TRELVO_E_IMPLEMENTATION_UNAVAILABLE",
        "VELT_Disconnect() = 0x80000007 TRELVO_E_NOT_LOADED",
        "-- loaded " + fake + " (in VELT_ConnectWithURI)",
        "VELT_ConnectWithURI(0x1234, null) = 0x00000000",
        "VELT_GetConnectionStatus(" + Hex(&status) + ") = 0x80000007",
        "VELT_GetConnectionStatus(" + Hex(&status) + " -> 3) = 0x00000000",
        std::string("VELT_GetLastErrorMessage(0) = ") + kShownMessage,
        "-- unloaded " + fake + " (in Trelvo_SetVeltApiImplementationPath)",
        "Trelvo_SetVeltApiImplementationPath(" + fake +
            ") = 0x00000000 [by the front end: VELT_GetConnectionStatus(-> 3) = 0x00000000]",
        "Trelvo_GetVeltApiImplementationPath() = " + fake,
        "-- loaded " + fake + " (in VELT_GetConnectionStatus)",
        "VELT_GetConnectionStatus(null) = 0x00000000",
        "-- unloaded " + fake + " (in VELT_DisconnectIfLastClient)",
        "VELT_DisconnectIfLastClient(" + Hex(&lastClient) + " -> 1) = 0x00000000",
        text("# summary of pid " + std::to_string(getpid())),
        text("# Trelvo_GetVeltApiImplementationPath 1 0"),
        text("# Trelvo_SetVeltApiImplementationPath 1 0"),
        text("# VELT_ConnectWithURI 1 0"),
        text("# VELT_Disconnect 1 1"),
        text("# VELT_DisconnectIfLastClient 1 0"),
        text("# VELT_GetConnectionStatus 3 1"),
        text("# VELT_GetLastErrorMessage 1 0"),
        text("# VELT_GetService 1 1"),
        pid,
        thread,
        "-- loaded " + fake + " (in VELT_GetService)",
        "VELT_GetService(9, null) = 0x00000000",
        text("# summary of pid " + std::to_string(getpid())),
        text("# VELT_GetService 1 0"),
    };
    records.erase(std::remove(records.begin(), records.end(), ""), records.end());
    EXPECT_EQ(json ? JsonRecords(trace) : TextRecords(trace), records);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest,
                         ::testing::Values(NamedCase{"Text"}, NamedCase{"Json"}), CaseName());

struct ChildEnd : NamedCase {
    const char* name;  // without "%p" the file of the parent, whose front end goes first
    enum { kAbort, kExit, kExitWhileThreadsCall } end;
    enum { kCalls, kChangesDirectory, kReloads } first = kCalls;  // what the child does first
};

using ChildTraceTest = TableTest<TraceTest, ChildEnd>;

// Each record is one write, so that none is torn or mixed with another's: a
// child's calls from many threads are all in the file, whole, and the file
// stays readable after a crash, after exit with threads still calling (which
// takes a few runs to catch), and in the file of a parent that has ended its
// trace.
TEST_P(ChildTraceTest, KeepsEveryRecordOfAChildThatEnds) {
    constexpr int kThreads = 8, kCalls = 50;  // each thread's
    const ChildEnd& c = GetParam();
    TraceTo(c.name);
    const FrontEndExports& api = LoadFrontEnd();
    FakeVelt_SetResult(FAKE_VELT_GetService, 5);  // counted for the parent, not the child
    ASSERT_EQ(api.VELT_GetService(9, nullptr), 5u);
    FakeVelt_SetResult(FAKE_VELT_GetService, 0);
    for (int run = 0; run < (c.end == ChildEnd::kExitWhileThreadsCall ? 20 : 1); ++run) {
        const size_t calls = run == 0 ? kCalls : 0;  // the other runs are for the race at exit
        int parentDone[2];
        ASSERT_EQ(pipe(parentDone), 0);
        const pid_t child = fork();
        if (child == 0) {
            char byte;
            close(parentDone[1]);
            if (read(parentDone[0], &byte, 1) != 0) _exit(2);
            if (c.first == ChildEnd::kChangesDirectory && chdir("..") != 0) _exit(3);
            if (c.first == ChildEnd::kReloads) m_frontEnd->close(), LoadFrontEnd();
            std::vector<std::thread> threads;
            for (int thread = 0; thread < kThreads; ++thread) {
                threads.emplace_back([&api, thread, calls] {
                    for (uintptr_t call = 1; call <= calls; ++call) {
                        api.VELT_GetService(thread, reinterpret_cast<VeltArg>(call));
                    }
                });
            }
            for (std::thread& thread : threads) thread.join();
            if (c.end == ChildEnd::kAbort) abort();
            std::atomic<int> calls{0};
            for (int i = 0; c.end == ChildEnd::kExitWhileThreadsCall && i < 2; ++i) {
                std::thread([&api, &calls] {
                    for (;;) api.VELT_GetService(calls++, nullptr);
                }).detach();
            }
            while (c.end == ChildEnd::kExitWhileThreadsCall && calls < 50) sched_yield();
            exit(0);
        }
        if (std::strstr(c.name, "%p") == nullptr) m_frontEnd->close();
        close(parentDone[0]);
        close(parentDone[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status),
                  c.end == ChildEnd::kAbort ? SIGABRT : 0);  // or a sanitizer's report
        const std::string trace = TraceTo(c.name, child), pid = std::to_string(child);
        const bool json = std::strstr(c.name, ".json") != nullptr;
        const std::vector<std::string> records = json ? JsonRecords(trace) : TextRecords(trace);
        const auto count = [&records](const std::string& record) {
            return std::count(records.begin(), records.end(), record);
        };
        std::set<std::string> threadCalls;  // those with an argument; each other than the rest
        for (const std::string& record : records) {
            if (record.find(", 0x") != std::string::npos) threadCalls.insert(record);
        }
        EXPECT_EQ(threadCalls.size(), kThreads * calls) << run;
        EXPECT_EQ(count("VELT_GetService(9, null) = 0x00000005"),
                  std::strstr(c.name, "%p") ? 0 : 1);
        EXPECT_EQ(threadCalls.count("VELT_GetService(7, 0x32) = 0x00000000"), calls != 0 ? 1u : 0u)
            << run;
        if (json) {
            EXPECT_EQ(count("# pid " + pid), 1);
            continue;
        }
        EXPECT_EQ(count("# summary of pid " + pid), c.end == ChildEnd::kAbort ? 0 : 1);
        EXPECT_EQ(count("# VELT_GetService 400 0"), c.end == ChildEnd::kExit ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ChildTraceTest,
    ::testing::Values(
        ChildEnd{{"TextAbort"}, "trace-%p.txt", ChildEnd::kAbort},
        ChildEnd{{"TextExit"}, "trace-%p.txt", ChildEnd::kExit},
        ChildEnd{{"TextExitWhileThreadsCall"}, "trace-%p.txt", ChildEnd::kExitWhileThreadsCall},
        ChildEnd{{"TextSharedFile"}, "trace.txt", ChildEnd::kExit},
        ChildEnd{{"TextChildChangesDirectory"},
                 "trace-%p.txt",
                 ChildEnd::kExit,
                 ChildEnd::kChangesDirectory},
        ChildEnd{{"TextChildReloads"}, "trace.txt", ChildEnd::kExit, ChildEnd::kReloads},
        ChildEnd{{"JsonAbort"}, "trace-%p.json", ChildEnd::kAbort},
        ChildEnd{{"JsonExit"}, "trace-%p.json", ChildEnd::kExit},
        ChildEnd{{"JsonExitWhileThreadsCall"}, "trace-%p.json", ChildEnd::kExitWhileThreadsCall},
        ChildEnd{{"JsonSharedFile"}, "trace.json", ChildEnd::kExit},
        ChildEnd{{"JsonChildReloads"}, "trace.json", ChildEnd::kExit, ChildEnd::kReloads}),
    CaseName());

// What a test plants at the trace's name: nothing, a link to the victim,
// an empty file, a FIFO, an earlier process's trace, or standard error.
int Nothing(const char*, const char*) { return 0; }
int EmptyFile(const char*, const char* name) { return close(creat(name, 0666)); }
int Fifo(const char*, const char* name) { return mkfifo(name, 0666); }
int EarlierProcess(const char*, const char* name) {  // this pid's, another start's
    const int file = creat(name, 0600);
    return dprintf(file, "# pid %d start 1 of an earlier process\n", getpid()) > 0 ? close(file)
                                                                                   : -1;
}
int StandardError(const char*, const char* name) {  // the trace's file
    const int file = creat(name, 0600), error = dup2(file, 2);
    return close(file) | (error == 2 ? 0 : -1);
}

struct TraceFileCase : NamedCase {
    const char* value;
    int (*plant)(const char* victim, const char* name);
    uid_t owner;         // of what was planted, when not 0
    const char* logged;  // the debug log's line, WORK for work(); or null
};

using TraceFileTest = TableTest<TraceTest, TraceFileCase>;

// Whatever stands at the name, and whether or not the trace can be written,
// every call answers and leaves errno as it would without a trace, and
// nothing planted is written. Another owner's file would have been filled
// by a root process; the FIFO's reader goes after the first record.
TEST_P(TraceFileTest, CallsWorkAndNothingPlantedIsWritten) {
    const TraceFileCase& c = GetParam();
    const std::string victim = root().write("victim", "precious\n"), trace = work() + "/trace.txt";
    if (c.owner != 0 && geteuid() != 0) GTEST_SKIP() << "needs root to plant another's file";
    ASSERT_EQ(c.plant(victim.c_str(), trace.c_str()), 0);
    ASSERT_EQ(c.owner != 0 ? chown(trace.c_str(), c.owner, c.owner) : 0, 0);
    const int reader = c.plant == Fifo ? open(trace.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC), error = dup(2);
    if (std::strncmp(c.value, "/dev/", 5) == 0) inotify_add_watch(opens, c.value, IN_OPEN);
    environment().set("TRELVOTRACE", c.value);
    FakeVelt_SetErrno(E2BIG);
    const FrontEndExports& api = LoadFrontEnd();
    errno = 0;
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(errno, E2BIG);
    if (reader >= 0) close(reader);
    errno = 0;
    EXPECT_EQ(api.VELT_ConnectSingleton(nullptr, 1), 0u);
    EXPECT_EQ(errno, E2BIG);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
    EXPECT_EQ(api.VELT_Disconnect(), 0u);
    m_frontEnd->close();
    dup2(error, 2);
    char event[sizeof(inotify_event) + NAME_MAX + 1];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "a device was opened";
    EXPECT_EQ(FakeVelt_CallCount(), 3);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_TRUE(c.plant != Nothing || std::filesystem::is_empty(work()));
    const std::string written = c.plant != Fifo ? ReadFile(trace).value_or("") : "";
    EXPECT_TRUE(c.plant != EmptyFile || written == "");
    EXPECT_EQ(written.find("earlier"), std::string::npos);
    EXPECT_EQ(written.find("VELT_ConnectSingleton(null, 1) = 0x00000000") != std::string::npos,
              c.plant == StandardError || c.plant == EarlierProcess);
    EXPECT_EQ(CountLogLines("Cannot "), c.logged != nullptr ? 1 : 0);
    if (c.logged != nullptr) {
        EXPECT_EQ(CountLogLines(std::regex_replace(c.logged, std::regex("WORK"), work())), 1);
    }
}

#define TRELVO_REFUSED(reason) R"(Cannot trace calls to "WORK/trace.txt": )" reason
constexpr uid_t kNobody = 65534;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, TraceFileTest, ::testing::Values(
    TraceFileCase{{"Empty"}, "", Nothing, 0, nullptr},
    TraceFileCase{{"MissingDirectory"}, "missing/trace.txt", Nothing, 0,
                  R"(Cannot trace calls to "WORK/missing/trace.txt": No such file or directory)"},
    TraceFileCase{{"SymbolicLink"}, "trace.txt", symlink, 0,
                  TRELVO_REFUSED("a symbolic link is in its place, which is never followed")},
    TraceFileCase{{"HardLink"}, "trace.txt", link, 0, TRELVO_REFUSED("it has more than one link")},
    TraceFileCase{{"OthersFile"}, "trace.txt", EmptyFile, kNobody,
                  TRELVO_REFUSED("it belongs to another user")},
    TraceFileCase{{"OthersFifo"}, "trace.txt", Fifo, kNobody,
                  TRELVO_REFUSED("it belongs to another user")},
    TraceFileCase{{"FifoReaderGone"}, "trace.txt", Fifo, 0,
                  R"(Cannot write the call trace to "WORK/trace.txt": Broken pipe)"},
    TraceFileCase{{"EarlierProcessWithThisPid"}, "trace.txt", EarlierProcess, 0, nullptr},
    TraceFileCase{{"DeviceNotATerminal"}, "/dev/zero", Nothing, 0,
                  R"(Cannot trace calls to "/dev/zero": it is not a terminal)"},
    TraceFileCase{{"StandardError"}, "/dev/stderr", StandardError, 0, nullptr}),
    CaseName());
// clang-format on
#undef TRELVO_REFUSED

// A text too long for one record is cut at a character boundary, with a mark.
// The formatter alone, in the caller's buffer: a long text cut at a character boundary.
TEST(TraceFormatTest, LongTextIsCutAtACharacterBoundary) {
    std::string path, mark = "\xE2\x80\xA6[cut]";
    for (int i = 0; i < 3000; ++i) path += "\xC3\xA9";
    Internal_Trelvo::TraceFormat record({true, false, 7, 8, 0, 0, 0}, 1000, "S");
    record.Arguments("(path)", {path.c_str()}, false);
    const Internal_Trelvo::TraceBuffer& out = record.Finish(0);
    const std::string shown =
        Json::parse("[0" + std::string(out.data, out.size) + "]").back()["args"]["path"];
    EXPECT_EQ(shown, path.substr(0, shown.size() - mark.size()) + mark);
}

}  // namespace
}  // namespace TrelvoTest
