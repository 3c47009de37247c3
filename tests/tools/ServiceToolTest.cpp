// norn-service as a separate process: each test works on its own instrument directory. The tool
// must never lose the data it exists to protect: bad input, hostile files, a damaged state, a
// missing backup and an unconfirmed change all leave everything as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using norn::test::CTempDirectory;

struct CToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of `text` that start with `prefix`.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ServiceToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Run("init").exitCode, 0); }

    std::string Instrument() const { return m_directory.Path() + "/instrument"; }
    std::string StatePath() const { return Instrument() + "/instrument.state"; }
    std::string DataFile(const char* name) const {
        return Instrument() + "/root/eeprom/xml/" + name;
    }
    std::string Scratch(const char* name) const { return m_directory.Path() + "/" + name; }
    std::vector<std::string> Sets() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Instrument() + "/backups")) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs the tool on this test's instrument; `arguments` are shell words, `input` goes to stdin.
    CToolRun Run(const std::string& arguments, const std::string& input = "") const {
        const std::string inputFile = Scratch("stdin");
        const std::string errorFile = Scratch("stderr");
        CTempDirectory::WriteFile(inputFile, input);
        const std::string command = std::string(NORN_SERVICE_TOOL) + " --instrument " +
                                    Instrument() + " " + arguments + " <" + inputFile + " 2>" +
                                    errorFile;
        CToolRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof(chunk), pipe)) > 0;) run.out.append(chunk, n);
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = ReadFile(errorFile);
        return run;
    }
    // The identity and block lines of `status`, without the files line.
    std::vector<std::string> InstrumentLines() const {
        const std::string out = Run("status").out;
        std::vector<std::string> lines;
        for (const char* prefix : {"serial", "material", "dds", "mac", "  payload"}) {
            for (auto& line : LinesStartingWith(out, prefix)) lines.push_back(line);
        }
        return lines;
    }
    // Fails unless the run was refused with exactly one line on stderr.
    void ExpectRefused(const CToolRun& run, int exitCode, const std::string& arguments) const {
        EXPECT_EQ(run.exitCode, exitCode) << arguments << "\n" << run.out << run.err;
        EXPECT_EQ(LinesStartingWith(run.err, "norn-service: ").size(), 1u) << arguments << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }

    CTempDirectory m_directory{"norn-tool"};
};

TEST_F(ServiceToolTest, DemoErasesAndRestoresWhatItBackedUp) {
    const auto before = InstrumentLines();
    const std::string stateBefore = ReadFile(StatePath());

    const CToolRun demo = Run("demo");
    EXPECT_EQ(demo.exitCode, 0) << demo.out << demo.err;
    EXPECT_EQ(LinesStartingWith(demo.out, "  payload  erased").size(), 2u) << demo.out;
    EXPECT_EQ(LinesStartingWith(demo.out, "demo: every step succeeded").size(), 1u);

    EXPECT_EQ(InstrumentLines(), before);
    EXPECT_EQ(before.size(), 6u);
    EXPECT_EQ(ReadFile(StatePath()), stateBefore);
}

// The backup fails, and the erase after it never runs.
TEST_F(ServiceToolTest, DemoStopsAtTheFirstFailedStep) {
    const auto before = InstrumentLines();
    const CToolRun demo = Run("--fault PrepareRead=status:1 demo");
    EXPECT_EQ(demo.exitCode, 1);
    EXPECT_EQ(LinesStartingWith(demo.out, "== step 2 backup: FAILED").size(), 1u) << demo.out;
    EXPECT_TRUE(LinesStartingWith(demo.out, "== step 3").empty()) << demo.out;
    EXPECT_EQ(InstrumentLines(), before);
}

TEST_F(ServiceToolTest, CommittedChangesSurviveBetweenRunsAndUncommittedOnesDoNot) {
    ASSERT_EQ(Run("--yes serial SN55555555").exitCode, 0);
    EXPECT_EQ(Run("serial").out, "serial SN55555555\n");

    const std::string payload = Scratch("payload.bin");
    CTempDirectory::WriteFile(payload, "NEW-PAYLOAD");
    EXPECT_EQ(Run("--yes --fault SetEEPROMMode=status:3 dds import " + payload).exitCode, 1);
    EXPECT_FALSE(Has(Run("status").out, "4e45572d5041594c4f4144"));
    EXPECT_EQ(Run("--yes batch dds=" + payload + " mac=de:ad:be:ef").exitCode, 0);
    const CToolRun status = Run("--json status");
    EXPECT_TRUE(Has(status.out, "\"length\":11,\"payload\":\"4e45572d5041594c4f4144\""))
        << status.out;
    EXPECT_TRUE(Has(status.out, "\"payload\":\"de:ad:be:ef:a5"));
}

// A batch whose first import fails is not ended: the MAC address is not committed either.
TEST_F(ServiceToolTest, BatchStopsAtTheFirstFailedImportAndCommitsNothing) {
    const std::string payload = Scratch("payload.bin");
    CTempDirectory::WriteFile(payload, "NEW-PAYLOAD");
    const auto before = InstrumentLines();
    const CToolRun batch =
        Run("--yes --fault 'WriteBlock#1=hr:0x80004005' batch dds=" + payload + " mac=de:ad");
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_TRUE(LinesStartingWith(batch.out, "mac import").empty()) << batch.out;
    EXPECT_EQ(InstrumentLines(), before);
}

TEST_F(ServiceToolTest, DriverFaultFailsBackupAndItsReportIsPrintedAndLogged) {
    const CToolRun backup = Run("--fault PrepareRead=status:1 backup");
    EXPECT_EQ(backup.exitCode, 1);
    const auto reports = LinesStartingWith(backup.out, "report: F3 ");
    ASSERT_EQ(reports.size(), 1u) << backup.out;
    EXPECT_TRUE(Has(reports[0], "line 3514"));
    EXPECT_TRUE(Has(Run("log").out, "backup: report F3 E_FAIL (0x80004005) Brightwork line 3514"));
    EXPECT_FALSE(fs::exists(Instrument() + "/backups")) << "a failed backup makes no set";

    const CToolRun fallback = Run("--no-error-manager --fault PrepareRead=status:1 --json backup");
    EXPECT_EQ(fallback.exitCode, 1);
    EXPECT_TRUE(Has(fallback.out,
                    "\"events\":[{\"log\":\"event-log\",\"text\":\"Tarvo_Orm\\tERROR"
                    "\\t0\\tError in Brightwork (Line 3514)\"}]"))
        << fallback.out;
    EXPECT_TRUE(Has(fallback.out, "\"reports\":[]"));
}

// Every backup is a new set; two backups of the same data hold byte-identical files.
TEST_F(ServiceToolTest, BackupsAreNewVerifiedSetsThatAreNeverOverwritten) {
    ASSERT_EQ(Run("backup").exitCode, 0);
    ASSERT_EQ(Run("backup").exitCode, 0);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    for (const char* file : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        const std::string first = ReadFile(Instrument() + "/backups/" + sets[0] + "/" + file);
        EXPECT_FALSE(first.empty()) << file;
        EXPECT_EQ(first, ReadFile(Instrument() + "/backups/" + sets[1] + "/" + file)) << file;
    }
    const std::string kept = ReadFile(Instrument() + "/backups/" + sets[0] + "/NornData.dds");
    ASSERT_EQ(Run("--yes erase").exitCode, 0);
    ASSERT_EQ(Run("backup").exitCode, 1) << "an erased device data set is not backed up";
    EXPECT_EQ(Sets(), sets);
    EXPECT_EQ(ReadFile(Instrument() + "/backups/" + sets[0] + "/NornData.dds"), kept);
    EXPECT_EQ(Run("--json backups").out.find("\"verified\":false"), std::string::npos);
    EXPECT_EQ(Run("--keep 1 prune").exitCode, 0);
    EXPECT_EQ(Sets(), std::vector<std::string>{sets[1]});
}

// A set whose files differ from its manifest is never used; the older good one is.
TEST_F(ServiceToolTest, RestoreUsesOnlyASetThatVerifiesAndAsksFirst) {
    ASSERT_EQ(Run("backup").exitCode, 0);
    ASSERT_EQ(Run("--yes serial SN99999999").exitCode, 0);
    ASSERT_EQ(Run("backup").exitCode, 0);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    std::string damaged = ReadFile(Instrument() + "/backups/" + sets[1] + "/NornData.dds");
    damaged[3] ^= 1;
    CTempDirectory::WriteFile(Instrument() + "/backups/" + sets[1] + "/NornData.dds", damaged);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), "");  // an interrupted import's leftover
    EXPECT_TRUE(Has(Run("backups").out, "DAMAGED: NornData.dds differs from the manifest"));

    const CToolRun dry = Run("--json --dry-run restore");
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_TRUE(Has(dry.out, "serial: SN99999999 -> SN12345678")) << dry.out;
    EXPECT_TRUE(Has(dry.out, "\"driver_writes\":{\"blocks\":0,\"commits\":0,\"values\":0}"));
    const CToolRun declined = Run("restore", "n\n");
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_EQ(Run("serial").out, "serial SN99999999\n");

    const CToolRun restore = Run("--yes restore");
    EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
    EXPECT_TRUE(Has(restore.out, "restore from backup set " + sets[0]));
    EXPECT_TRUE(Has(restore.out, "verify: everything matches"));
    EXPECT_EQ(Run("serial").out, "serial SN12345678\n");
    ExpectRefused(Run("--yes --from " + sets[1] + " restore"), 1, "damaged --from");
}

// Every change is shown and, on a dry run, not made: the driver is asked for no write.
TEST_F(ServiceToolTest, DryRunChangesNothing) {
    ASSERT_EQ(Run("backup").exitCode, 0);
    const std::string payload = Scratch("payload.bin");
    CTempDirectory::WriteFile(payload, "NEW");
    const std::string state = ReadFile(StatePath());
    for (const std::string& command : std::vector<std::string>{
             "serial SN1", "material M1", "dds import " + payload, "mac import 01:02",
             "batch dds=" + payload + " mac=01:02", "erase", "restore"}) {
        const CToolRun run = Run("--json --dry-run " + command);
        EXPECT_EQ(run.exitCode, 0) << command << run.err;
        EXPECT_TRUE(Has(run.out, "\"driver_writes\":{\"blocks\":0,\"commits\":0,\"values\":0}"))
            << command << run.out;
        EXPECT_EQ(ReadFile(StatePath()), state) << command;
    }
    EXPECT_EQ(ReadFile(DataFile("NornData.dds")).size(), 75u);
}

TEST_F(ServiceToolTest, EraseNeedsAVerifiedBackupAndConfirmationAndTheLock) {
    const std::string state = ReadFile(StatePath());
    ExpectRefused(Run("--yes erase"), 1, "erase without a backup");
    EXPECT_EQ(ReadFile(StatePath()), state);

    ASSERT_EQ(Run("backup").exitCode, 0);
    EXPECT_EQ(Run("erase", "n\n").exitCode, 1);
    EXPECT_EQ(ReadFile(StatePath()), state);
    EXPECT_TRUE(fs::exists(DataFile("NornData.dds")));

    const int lock = open((Instrument() + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const CToolRun busy = Run("--yes erase");
    close(lock);
    ExpectRefused(busy, 1, "locked");
    EXPECT_TRUE(Has(busy.err, "in use by process " + std::to_string(getpid()))) << busy.err;

    EXPECT_EQ(Run("erase", "y\n").exitCode, 0);
    EXPECT_NE(ReadFile(StatePath()), state);
    EXPECT_FALSE(fs::exists(DataFile("NornData.dds")));
    EXPECT_EQ(Run("--yes --force erase").exitCode, 0) << "--force erases without a backup";
}

// Under AddressSanitizer a buffer that was not given back through entry 21 turns the failed
// export's exit status into the leak checker's.
TEST_F(ServiceToolTest, JsonEscapesTextAndExportsHandBackTheirBuffers) {
    ASSERT_EQ(Run("--yes serial 'A\"B\\C'").exitCode, 0);
    EXPECT_TRUE(Has(Run("--json serial").out, "\"serial\":\"A\\\"B\\\\C\""));
    ASSERT_EQ(Run("backup").exitCode, 0);
    const std::string exported = Scratch("out.dds");
    EXPECT_EQ(Run("dds export " + exported).exitCode, 0);
    EXPECT_EQ(ReadFile(exported), ReadFile(DataFile("NornData.dds")));
    ASSERT_EQ(Run("--yes mac import aa:bb:cc").exitCode, 0);
    const CToolRun mismatch = Run("mac export");
    EXPECT_EQ(mismatch.exitCode, 1) << mismatch.err;
    EXPECT_EQ(LinesStartingWith(mismatch.out, "report: D7 ").size(), 1u);
    EXPECT_EQ(Run("verify").exitCode, 1) << "the MAC address file no longer matches its block";
}

TEST_F(ServiceToolTest, FaultCallNumberHitsOnlyThatCall) {
    const CToolRun second = Run("--fault 'ReadBlock#2=hr:0x80004005' backup");
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_FALSE(LinesStartingWith(second.out, "report: ").empty());
    const CToolRun third = Run("--fault 'ReadBlock#3=hr:0x80004005' backup");
    EXPECT_EQ(third.exitCode, 0) << third.out;
    EXPECT_TRUE(LinesStartingWith(third.out, "report: ").empty());
}

// Bad input is a usage error found before anything is touched; hostile files in the instrument
// directory are refused before the module is called. Nothing outside the directory changes.
TEST_F(ServiceToolTest, BadInputAndHostileFilesAreRefusedAndChangeNothing) {
    ASSERT_EQ(Run("backup").exitCode, 0);
    const std::string outside = Scratch("outside.txt");
    CTempDirectory::WriteFile(outside, "not the tool's", 0444);
    const std::string big = Scratch("big.dds");
    CTempDirectory::WriteFile(big, std::string(1349, 'x'));
    const std::string huge = Scratch("huge.dds");
    CTempDirectory::WriteFile(huge, "");
    truncate(huge.c_str(), 200 << 20);  // sparse: refused by its size, never read
    const std::string fifo = Scratch("fifo");
    mkfifo(fifo.c_str(), 0644);
    const std::string mac17 = "01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f:10:11";
    struct CCase {
        std::string arguments;
        int exitCode;
        std::string planted;  // a link to `outside` put in place of this instrument file first
    };
    const std::vector<CCase> cases = {
        {"frobnicate", 2, ""},
        {"--frob status", 2, ""},
        {"--yes mac import " + mac17, 2, ""},
        {"--yes dds import " + big, 2, ""},
        {"--yes dds import " + huge, 2, ""},
        {"--yes dds import " + m_directory.Path(), 2, ""},
        {"--yes dds import " + fifo, 2, ""},
        {"--yes dds import /dev/zero", 2, ""},
        {"--yes mac import " + Scratch("stdin"), 2, ""},  // empty
        {"--yes dds import /nonexistent/file", 2, ""},
        {"--yes serial SN123456789012345", 2, ""},
        {"--yes material 1234.5678.90.12", 2, ""},
        {"--yes serial \"$(printf 'SN\\001')\"", 2, ""},
        {"--yes serial \"$(printf 'SN\\303\\251')\"", 2, ""},
        {"--fault ReadBlock=hr:0 status", 2, ""},
        {"--fault 'ReadBlock#4294967295=null' status", 2, ""},
        {"--fault 'ReadBlock#0=null' status", 2, ""},
        {"--fault ReadBlock=hr:010 status", 2, ""},
        {"--fault ' ReadBlock=null' status", 2, ""},
        {"--fault 'ReadBlock=null ' status", 2, ""},
        {"--fault WriteBlock=size:4 status", 2, ""},
        {"--root " + std::string(100, 'r') + " status", 2, ""},
        {"--root \"$(printf 'r\\303\\251')\" status", 2, ""},
        {"--yes mac import 0:1b::2", 2, ""},
        {"--yes mac import 001b.7c1", 2, ""},  // dot groups have four digits
        {"--module /etc/hostname status", 1, ""},
        {"--dry-run status", 2, ""},
        {"serial A B", 2, ""},
        {"batch dds", 2, ""},
        {"mac import 01:0g", 2, ""},
        {"--module /nonexistent status", 2, ""},
        {"backup", 1, "log.txt"},
        {"backup", 1, "instrument.state.tmp"},
        {"backup", 1, "events.log"},
        {"backup", 1, "root/eeprom/xml/NornData.xml"},
        {"backup", 1, "backups"},
        {"status", 1, ".lock"},
        {"status", 1, "instrument.state"},
    };
    for (const CCase& c : cases) {
        const std::string state = ReadFile(StatePath());
        std::string link;
        if (!c.planted.empty()) {
            link = Instrument() + "/" + c.planted;
            std::error_code missing;
            fs::rename(link, link + ".saved", missing);  // what is there now, kept aside
            fs::create_symlink(
                c.exitCode == 1 && c.planted == "backups" ? m_directory.Path() : outside, link);
        }
        ExpectRefused(Run(c.arguments), c.exitCode, c.arguments + " " + c.planted);
        EXPECT_EQ(ReadFile(outside), "not the tool's") << c.arguments << " " << c.planted;
        EXPECT_EQ(CTempDirectory::Mode(outside), 0444u);
        if (!link.empty()) {
            std::error_code missing;
            fs::remove(link);
            fs::rename(link + ".saved", link, missing);
        }
        EXPECT_EQ(ReadFile(StatePath()), state) << c.arguments << " " << c.planted;
    }
    EXPECT_EQ(Run("verify").exitCode, 0);
}

// A state that lost or changed anything is refused, left as it is, and the message says how to
// recover; recover then puts the newest verified set back on a fresh instrument.
TEST_F(ServiceToolTest, DamagedStateIsRefusedAndRecoveredFromABackupSet) {
    ASSERT_EQ(Run("--yes serial SN77777777").exitCode, 0);
    ASSERT_EQ(Run("backup").exitCode, 0);
    const auto good = InstrumentLines();
    const std::string state = ReadFile(StatePath());
    const std::string noMac = state.substr(0, state.find("block 22002")) +
                              state.substr(state.find("\n", state.find("block 22002")) + 1);
    std::string flipped = state;
    flipped[flipped.find("block 22001 ") + 20] ^= 1;
    for (const std::string& damaged : std::vector<std::string>{
             noMac, state.substr(0, state.find("value 16")), flipped, std::string(),
             "norn-instrument 1\n" + state.substr(state.find('\n') + 1)}) {
        CTempDirectory::WriteFile(StatePath(), damaged);
        const CToolRun run = Run("--yes erase");
        ExpectRefused(run, 1, "damaged state");
        EXPECT_TRUE(Has(run.err, "instrument.state") && Has(run.err, "recover")) << run.err;
        EXPECT_EQ(ReadFile(StatePath()), damaged);
    }
    const CToolRun recover = Run("--yes recover");
    EXPECT_EQ(recover.exitCode, 0) << recover.out << recover.err;
    EXPECT_EQ(InstrumentLines(), good);
    EXPECT_TRUE(fs::exists(StatePath() + ".damaged"));
}

TEST_F(ServiceToolTest, EveryCommandButInitAndDemoNeedsAnInstrument) {
    fs::remove_all(Instrument());
    ExpectRefused(Run("status"), 1, "no instrument");
    EXPECT_TRUE(Has(Run("backup").err, "init"));
    ExpectRefused(Run("--module /etc/hostname init"), 1, "a module that does not load");
    EXPECT_FALSE(fs::exists(Instrument()));
    EXPECT_EQ(Run("init").exitCode, 0);
    ExpectRefused(Run("init"), 1, "init twice");
}

// The usual spellings of a MAC address, and faults by name, are one and the same.
TEST_F(ServiceToolTest, MacAddressesAndFaultsInTheirUsualSpellings) {
    for (const char* mac : {"0:1b:7c:aa:b:cc", "00-1b-7c-aa-0b-cc", "001b.7caa.0bcc"}) {
        ASSERT_EQ(Run(std::string("--yes mac import ") + mac).exitCode, 0) << mac;
        EXPECT_TRUE(Has(Run("status").out, "payload  00:1b:7c:aa:0b:cc:a5")) << mac;
    }
    const CToolRun named = Run("--fault ReadBlock=hr:E_POINTER backup");
    EXPECT_EQ(named.exitCode, 1);
    EXPECT_TRUE(Has(named.out, "E_POINTER (0x80004003)")) << named.out;
}

// What a technician reads: a dump on a terminal, a cause beside a report, the history.
TEST_F(ServiceToolTest, DumpCausesHistoryAndWaitingForTheLock) {
    const CToolRun dump = Run("-- 2>/dev/null; script -qec '" + std::string(NORN_SERVICE_TOOL) +
                              " --instrument " + Instrument() + " status' /dev/null #");
    EXPECT_TRUE(
        Has(dump.out, "0000  4e 4f 52 4e 2d 44 44 53 3b 72 65 76 3d 33 3b 63  |NORN-DDS;rev=3;c|"))
        << dump.out;
    ASSERT_EQ(Run("backup").exitCode, 0);
    ASSERT_EQ(Run("--yes erase").exitCode, 0);
    EXPECT_TRUE(Has(Run("backup").out, "line 3525 (block 22001 is erased or could not be read)"));
    const std::string history = Run("history").out;
    EXPECT_TRUE(Has(history, "backup  exit 0  " + Sets()[0])) << history;
    EXPECT_TRUE(Has(history, "erase  exit 0  " + Sets()[0] + "  [dds: 75 bytes -> erased]"));

    const int lock = open((Instrument() + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    std::thread release([lock] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        close(lock);
    });
    const CToolRun waited = Run("--wait=5 status");
    release.join();
    EXPECT_EQ(waited.exitCode, 0) << waited.err;
}

}  // namespace
