// norn-service as a separate process: each test works on its own instrument directory. The tool
// must never lose the data it exists to protect: bad input, hostile files, a damaged state, a
// missing backup and an unconfirmed change all leave everything as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
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

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What `--json` prints for a run that asked the driver for no write.
const char* const kNoDriverWrites = "\"driver_writes\":{\"blocks\":0,\"commits\":0,\"values\":0}";

class ServiceToolTest : public ::testing::Test {
protected:
    void SetUp() override { Expect("init", 0); }

    std::string Instrument() const { return m_directory.Path() + "/instrument"; }
    std::string StatePath() const { return Instrument() + "/instrument.state"; }
    std::string DataFile(const char* name) const {
        return Instrument() + "/root/eeprom/xml/" + name;
    }
    std::string SetFile(const std::string& set, const char* name) const {
        return Instrument() + "/backups/" + set + "/" + name;
    }
    // A file beside the instrument, written with `content`.
    std::string Scratch(const char* name, const std::string& content = "") const {
        const std::string path = m_directory.Path() + "/" + name;
        CTempDirectory::WriteFile(path, content);
        return path;
    }
    std::vector<std::string> Sets() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Instrument() + "/backups")) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // What `status` shows of the instrument: its identity and blocks, before the files line.
    std::string InstrumentData() const {
        const std::string out = Run("status").out;
        return out.substr(0, out.find("\nfiles"));
    }
    // The instrument's lock, held shared (a tool must not share it); give it back with close().
    int HoldLock() const {
        const int lock = open((Instrument() + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_EQ(flock(lock, LOCK_SH | LOCK_NB), 0);
        return lock;
    }

    // Runs the tool on this test's instrument; `arguments` are shell words, `input` goes to stdin.
    CToolRun Run(const std::string& arguments, const std::string& input = "") const {
        const std::string errorFile = m_directory.Path() + "/stderr";
        const std::string command = std::string(NORN_SERVICE_TOOL) + " --instrument " +
                                    Instrument() + " " + arguments + " <" +
                                    Scratch("stdin", input) + " 2>" + errorFile;
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
    // Runs the tool, which must end with `exitCode` and print each of `texts` (on stdout or
    // stderr).
    CToolRun Expect(const std::string& arguments, int exitCode,
                    const std::vector<std::string>& texts = {},
                    const std::string& input = "") const {
        const CToolRun run = Run(arguments, input);
        EXPECT_EQ(run.exitCode, exitCode) << arguments << "\n" << run.out << run.err;
        for (const std::string& text : texts) {
            EXPECT_TRUE(Has(run.out + run.err, text)) << arguments << ": no " << text << "\n"
                                                      << run.out << run.err;
        }
        return run;
    }
    // Runs the tool, which must refuse with `exitCode` and exactly one line on stderr.
    CToolRun ExpectRefused(const std::string& arguments, int exitCode) const {
        const CToolRun run = Expect(arguments, exitCode, {"norn-service: "});
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments << run.err;
        return run;
    }

    CTempDirectory m_directory{"norn-tool"};
};

// The demo backs up, erases and restores, and the instrument ends as it began; a failed step
// (here the backup) ends the demo before the erase.
TEST_F(ServiceToolTest, DemoRestoresWhatItErasedAndStopsAtTheFirstFailedStep) {
    const std::string before = InstrumentData();
    const std::string state = ReadFile(StatePath());
    ASSERT_TRUE(Has(before, "payload  75 bytes")) << before;
    Expect("demo", 0,
           {"payload  erased (length field a5a5a5a5)", "payload  erased (all a5)",
            "\ndemo: every step succeeded\n"});
    EXPECT_EQ(InstrumentData(), before);
    EXPECT_EQ(ReadFile(StatePath()), state);

    const CToolRun failed =
        Expect("--fault PrepareRead=status:1 demo", 1, {"step 2 backup: FAILED"});
    EXPECT_FALSE(Has(failed.out, "== step 3")) << failed.out;
    EXPECT_EQ(InstrumentData(), before);
}

// A committed change survives between runs. An import whose commit fails changes nothing, nor
// does a batch whose first import fails: it is not ended, and the MAC address is not imported.
TEST_F(ServiceToolTest, OnlyCommittedChangesSurviveBetweenRuns) {
    Expect("--yes serial SN55555555", 0);
    Expect("serial", 0, {"serial SN55555555\n"});
    const std::string before = InstrumentData();
    const std::string payload = Scratch("payload.bin", "NEW-PAYLOAD");
    Expect("--yes --fault SetEEPROMMode=status:3 dds import " + payload, 1);
    const CToolRun batch =
        Expect("--yes --fault 'WriteBlock#1=hr:0x80004005' batch dds=" + payload + " mac=de:ad", 1);
    EXPECT_FALSE(Has(batch.out, "mac import")) << batch.out;
    EXPECT_EQ(InstrumentData(), before);

    Expect("--yes batch dds=" + payload + " mac=de:ad:be:ef", 0);
    Expect(
        "--json status", 0,
        {"\"length\":11,\"payload\":\"4e45572d5041594c4f4144\"", "\"payload\":\"de:ad:be:ef:a5"});
}

// A driver fault fails the backup with the module's report, printed and logged (without the
// error manager: the module's event-log line), and makes no set. A fault given by call number
// and HRESULT name hits that call only: the second block read is the MAC address block's.
TEST_F(ServiceToolTest, DriverFaultFailsBackupWithItsReportAndMakesNoSet) {
    Expect("--fault PrepareRead=status:1 backup", 1,
           {"report: F3 E_FAIL (0x80004005) Brightwork line 3514"});
    Expect("log", 0, {"backup: report F3 E_FAIL (0x80004005) Brightwork line 3514"});
    Expect("--no-error-manager --fault PrepareRead=status:1 --json backup", 1,
           {"\"events\":[{\"log\":\"event-log\",\"text\":\"Tarvo_Orm\\tERROR\\t0\\tError in "
            "Brightwork (Line 3514)\"}]",
            "\"reports\":[]"});
    Expect("--fault 'ReadBlock#2=hr:E_POINTER' backup", 1,
           {"report: GetMACEEPROM E_POINTER (0x80004003)"});
    EXPECT_FALSE(fs::exists(Instrument() + "/backups"));
    EXPECT_FALSE(Has(Expect("--fault 'ReadBlock#3=hr:0x80004005' backup", 0).out, "report: "));
}

// Every backup is a new set; two backups of the same data hold byte-identical files. An erased
// instrument is not backed up; a set whose manifest records another size does not verify; prune
// keeps the newest sets and removes a set whole or not at all.
TEST_F(ServiceToolTest, BackupsAreNewVerifiedSetsThatAreNeverOverwritten) {
    Expect("backup", 0);
    Expect("backup", 0);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    for (const char* file : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        EXPECT_FALSE(ReadFile(SetFile(sets[0], file)).empty()) << file;
        EXPECT_EQ(ReadFile(SetFile(sets[0], file)), ReadFile(SetFile(sets[1], file))) << file;
    }
    fs::create_directory(SetFile(sets[0], "folder"));  // no set holds one: prune leaves it whole
    ExpectRefused("--keep 1 prune", 1);
    const std::string aside = Instrument() + "/backups/.old-" + sets[0];
    EXPECT_TRUE(fs::exists(aside + "/NornData.dds"));
    fs::remove(aside + "/folder");
    fs::rename(aside, Instrument() + "/backups/" + sets[0]);
    const std::string kept = ReadFile(SetFile(sets[0], "NornData.dds"));
    Expect("--yes erase", 0);
    Expect("backup", 1);
    EXPECT_EQ(Sets(), sets);
    EXPECT_EQ(ReadFile(SetFile(sets[0], "NornData.dds")), kept);
    EXPECT_FALSE(Has(Expect("--json backups", 0).out, "\"verified\":false"));
    std::string manifest = ReadFile(SetFile(sets[0], "manifest.json"));  // a size, not the bytes
    manifest.replace(manifest.find("\"size\": 75"), 10, "\"size\": 76");
    CTempDirectory::WriteFile(SetFile(sets[0], "manifest.json"), manifest);
    Expect("backups", 0, {"DAMAGED: NornData.dds differs from the manifest"});
    Expect("--keep 1 prune", 0);
    EXPECT_EQ(Sets(), std::vector<std::string>{sets[1]});
}

// A set whose files differ from its manifest is never used, nor counted as kept by prune; the
// older good one is, once the technician agrees. A killed run's hidden leftover is never a set.
TEST_F(ServiceToolTest, RestoreUsesOnlyASetThatVerifiesAndAsksFirst) {
    Expect("backup", 0);
    Expect("--yes serial SN99999999", 0);
    Expect("backup", 0);
    const auto sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    std::string damaged = ReadFile(SetFile(sets[1], "NornData.dds"));
    damaged[3] ^= 1;
    CTempDirectory::WriteFile(SetFile(sets[1], "NornData.dds"), damaged);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), "");  // an interrupted import's leftover
    Expect("backups", 0, {"DAMAGED: NornData.dds differs from the manifest"});
    Expect("--keep 1 prune", 0);
    EXPECT_EQ(Sets().front(), sets[0]);

    Expect("--json --dry-run restore", 0, {"serial: SN99999999 -> SN12345678", kNoDriverWrites});
    Expect("restore", 1, {}, "n\n");
    Expect("serial", 0, {"serial SN99999999\n"});
    Expect("--yes restore", 0,
           {"restore from backup set " + sets[0], "verify: everything matches"});
    Expect("serial", 0, {"serial SN12345678\n"});
    ExpectRefused("--yes --from " + sets[1] + " restore", 1);
    fs::copy(Instrument() + "/backups/" + sets[0], Instrument() + "/backups/.old-" + sets[0]);
    ExpectRefused("--yes --from .old-" + sets[0] + " restore", 1);
}

// Every change is shown and, on a dry run, not made: the driver is asked for no write.
TEST_F(ServiceToolTest, DryRunChangesNothing) {
    Expect("backup", 0);
    const std::string payload = Scratch("payload.bin", "NEW");
    const std::string state = ReadFile(StatePath());
    for (const std::string& command : std::vector<std::string>{
             "serial SN1", "material M1", "dds import " + payload, "mac import 01:02",
             "batch dds=" + payload + " mac=01:02", "erase", "restore"}) {
        Expect("--json --dry-run " + command, 0, {kNoDriverWrites});
        EXPECT_EQ(ReadFile(StatePath()), state) << command;
    }
    EXPECT_EQ(ReadFile(DataFile("NornData.dds")).size(), 75u);
}

// Erase goes ahead only with a verified set that holds the instrument's data (or with --force),
// once confirmed, and not while another run holds the instrument.
TEST_F(ServiceToolTest, EraseNeedsABackupOfTheDataAndConfirmationAndTheLock) {
    ExpectRefused("--yes erase", 1);
    Expect("backup", 0);
    Expect("--yes mac import 02:00:00:00:00:01", 0);
    ExpectRefused("--yes erase", 1);  // the set holds an older MAC address
    Expect("backup", 0);
    const std::string state = ReadFile(StatePath());
    Expect("erase", 1, {}, "n\n");
    EXPECT_EQ(ReadFile(StatePath()), state);
    EXPECT_TRUE(fs::exists(DataFile("NornData.dds")));

    const int lock = HoldLock();
    const CToolRun busy = ExpectRefused("--yes erase", 1);
    close(lock);
    EXPECT_TRUE(Has(busy.err, "in use by process " + std::to_string(getpid()))) << busy.err;

    Expect("erase", 0, {}, "y\n");
    EXPECT_NE(ReadFile(StatePath()), state);
    EXPECT_FALSE(fs::exists(DataFile("NornData.dds")));
    Expect("--yes --force erase", 0);  // without a backup of the erased data
}

// Text in JSON is escaped; an export writes the file it compared. A MAC address file that no
// longer matches its block fails the export (under AddressSanitizer a buffer not given back
// through entry 21 would turn its exit status into the leak checker's) and the verify.
TEST_F(ServiceToolTest, JsonEscapesTextAndExportsHandBackTheirBuffers) {
    Expect("--yes serial 'A\"B\\C'", 0);
    Expect("--json serial", 0, {"\"serial\":\"A\\\"B\\\\C\""});
    Expect("backup", 0);
    Expect("dds export " + m_directory.Path() + "/out.dds", 0);
    EXPECT_EQ(ReadFile(m_directory.Path() + "/out.dds"), ReadFile(DataFile("NornData.dds")));
    Expect("--yes mac import aa:bb:cc", 0);
    Expect("mac export", 1, {"report: D7 E_FAIL (0x80004005) Brightwork line 1656"});
    Expect("verify", 1);
}

// Bad input is a usage error (2) found before anything is touched; hostile files in the
// instrument directory are refused (1) before the module is called. Nothing outside the
// directory changes, nor does the instrument.
TEST_F(ServiceToolTest, BadInputAndHostileFilesAreRefusedAndChangeNothing) {
    Expect("backup", 0);
    const std::string outside = Scratch("outside.txt", "not the tool's");
    chmod(outside.c_str(), 0444);
    const std::string big = Scratch("big.dds", std::string(1349, 'x'));
    const std::string huge = Scratch("huge.dds");
    truncate(huge.c_str(), 200 << 20);  // sparse: refused by its size, never read
    const std::string fifo = m_directory.Path() + "/fifo";
    mkfifo(fifo.c_str(), 0644);
    const std::string outsideLink = m_directory.Path() + "/link";
    fs::create_symlink(outside, outsideLink);
    struct CCase {
        std::string arguments;
        int exitCode;
        std::string planted;  // a link to `outside` (a folder for backups) put in its place first
    };
    const std::vector<CCase> cases = {
        {"frobnicate", 2, ""},
        {"--frob status", 2, ""},
        {"--yes mac import 01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f:10:11", 2, ""},
        {"--yes dds import " + big, 2, ""},
        {"--yes dds import " + huge, 2, ""},
        {"--yes dds import " + m_directory.Path(), 2, ""},
        {"--yes dds import " + fifo, 2, ""},
        {"--yes dds import /dev/zero", 2, ""},
        {"--yes mac import " + Scratch("empty"), 2, ""},
        {"--yes dds import /nonexistent/file", 2, ""},
        {"dds export " + m_directory.Path(), 1, ""},
        {"dds export " + outsideLink, 1, ""},
        {"--yes dds import " + outsideLink, 2, ""},
        {"--yes serial SN123456789", 2, ""},       // 11 characters; 10 fit
        {"--yes material 1234.5678.9012", 2, ""},  // 14; 13 fit
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
        SCOPED_TRACE(c.arguments + " " + c.planted);
        const std::string state = ReadFile(StatePath());
        const std::string link = Instrument() + "/" + c.planted;
        std::error_code missing;
        if (!c.planted.empty()) {
            fs::rename(link, link + ".saved", missing);  // what is there now, kept aside
            fs::create_symlink(c.planted == "backups" ? m_directory.Path() : outside, link);
        }
        ExpectRefused(c.arguments, c.exitCode);
        EXPECT_EQ(ReadFile(outside), "not the tool's");
        EXPECT_EQ(CTempDirectory::Mode(outside), 0444u);
        if (!c.planted.empty()) {
            fs::remove(link);
            fs::rename(link + ".saved", link, missing);
        }
        EXPECT_EQ(ReadFile(StatePath()), state);
    }
    Expect("verify", 0);
}

// A state that lost or changed anything is refused, left as it is, and the message says how to
// recover; recover then puts the newest verified set back on a fresh instrument, keeping the
// damaged state aside, beside any kept before.
TEST_F(ServiceToolTest, DamagedStateIsRefusedAndRecoveredFromABackupSet) {
    Expect("--yes serial SN77777777", 0);
    Expect("backup", 0);
    const std::string good = InstrumentData();
    const std::string state = ReadFile(StatePath());
    const std::string noMac = state.substr(0, state.find("block 22002")) +
                              state.substr(state.find("\n", state.find("block 22002")) + 1);
    std::string flipped = state;
    flipped[flipped.find("block 22001 ") + 20] ^= 1;
    const std::string oldVersion = "norn-instrument 1\n" + state.substr(state.find('\n') + 1);
    for (const std::string& damaged :
         {noMac, state.substr(0, state.find("value 16")), flipped, std::string(), oldVersion}) {
        CTempDirectory::WriteFile(StatePath(), damaged);
        const CToolRun run = ExpectRefused("--yes erase", 1);
        EXPECT_TRUE(Has(run.err, "instrument.state") && Has(run.err, "recover")) << run.err;
        EXPECT_EQ(ReadFile(StatePath()), damaged);
    }
    Expect("--yes recover", 0);
    EXPECT_EQ(InstrumentData(), good);
    CTempDirectory::WriteFile(StatePath(), "");
    Expect("--yes recover", 0);
    EXPECT_EQ(ReadFile(StatePath() + ".damaged"), oldVersion);
    EXPECT_EQ(ReadFile(StatePath() + ".damaged-2"), "");
}

// Without an instrument a command is refused and points at init; init makes nothing when the
// module does not load. (Exit statuses before and after init: json_contract.py.)
TEST_F(ServiceToolTest, EveryCommandButInitAndDemoNeedsAnInstrument) {
    fs::remove_all(Instrument());
    EXPECT_TRUE(Has(ExpectRefused("backup", 1).err, "init"));
    ExpectRefused("--module /etc/hostname init", 1);
    EXPECT_FALSE(fs::exists(Instrument()));
}

// What a technician reads and types: a dump on a terminal, MAC addresses in their usual
// spellings, a cause beside a report, the history, and a wait for a lock another run holds.
TEST_F(ServiceToolTest, DumpSpellingsCausesHistoryAndWaitingForTheLock) {
    Expect("-- 2>/dev/null; script -qec '" + std::string(NORN_SERVICE_TOOL) + " --instrument " +
               Instrument() + " status' /dev/null #",
           0, {"0000  4e 4f 52 4e 2d 44 44 53 3b 72 65 76 3d 33 3b 63  |NORN-DDS;rev=3;c|"});
    for (const char* mac : {"0:1b:7c:aa:b:cc", "00-1b-7c-aa-0b-cc", "001b.7caa.0bcc"}) {
        Expect(std::string("--yes mac import ") + mac, 0);
        Expect("status", 0, {"payload  00:1b:7c:aa:0b:cc:a5"});
    }
    Expect("backup", 0);
    Expect("--yes erase", 0);
    Expect("backup", 1, {"line 3525 (block 22001 is erased or could not be read)"});
    Expect("history", 0,
           {"backup  exit 0  " + Sets()[0],
            "erase  exit 0  " + Sets()[0] + "  [dds: 75 bytes -> erased]"});

    const int lock = HoldLock();
    std::thread release([lock] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        close(lock);
    });
    Expect("--wait=5 status", 0);
    release.join();
}

}  // namespace
