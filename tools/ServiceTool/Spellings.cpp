// The spellings the tool accepts for what a technician types: driver faults, MAC addresses,
// identification texts and the service data root. Anything else is a one-line usage error.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include <norn/firmware/ErrorManagerSimulator.h>

#include "CommandLine.h"

namespace norn::tool {

namespace {

struct CFaultMethod {
    const char* name;
    const char* kinds;  // the kinds beyond hr and status it takes
};

constexpr CFaultMethod kFaultMethods[] = {
    {"ReadBlock", "size:N, null"}, {"WriteBlock", ""},
    {"SetEEPROMMode", ""},         {"PrepareRead", ""},
    {"ReadValue", "unterminated"}, {"QueryValue", "untouched"},
    {"WriteValue", "untouched"},
};

[[noreturn]] void Bad(const std::string& fault, const std::string& why) {
    throw CUsageError("--fault " + fault + ": " + why + " (see norn-service --help)");
}

bool AllOf(const std::string& text, int (*test)(int)) {
    if (text.empty()) return false;
    for (unsigned char c : text) {
        if (!test(c)) return false;
    }
    return true;
}

// A decimal number from least to most.
LONG Decimal(const std::string& fault, const std::string& text, long long least, long long most,
             const char* what) {
    if (!AllOf(text, isdigit) || text.size() > 10)
        Bad(fault, std::string(what) + " is not a decimal number");
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < least || value > most) {
        Bad(fault, std::string(what) + " must be " + std::to_string(least) + " to " +
                       std::to_string(most));
    }
    return static_cast<LONG>(value);
}

// 0x and 1 to 8 hex digits, or a name such as E_FAIL.
HRESULT FailureCode(const std::string& fault, const std::string& text) {
    HRESULT hresult = S_OK;
    if (text.size() > 2 && text.size() <= 10 && text.compare(0, 2, "0x") == 0 &&
        AllOf(text.substr(2), isxdigit)) {
        hresult = static_cast<HRESULT>(std::strtoul(text.c_str() + 2, nullptr, 16));
    } else if (!firmware::HresultFromName(text, hresult)) {
        Bad(fault, "hr takes 0x and hex digits, or a name such as E_FAIL");
    }
    if (hresult >= 0) Bad(fault, "hr needs a failure code (0x8... )");
    return hresult;
}

}  // namespace

firmware::CDriverFault ParseFault(const std::string& fault) {
    for (unsigned char c : fault) {
        if (std::isspace(c)) Bad(fault, "no spaces");
    }
    const size_t equals = fault.find('=');
    if (equals == std::string::npos) Bad(fault, "expected METHOD[#N]=KIND[:VALUE]");
    std::string method = fault.substr(0, equals);
    LONG nth = 0;
    if (const size_t hash = method.find('#'); hash != std::string::npos) {
        nth = Decimal(fault, method.substr(hash + 1), 1, 1000000,
                      "the call number (from 1; leave #N out for every call)");
        method.resize(hash);
    }
    const CFaultMethod* known = nullptr;
    for (const CFaultMethod& m : kFaultMethods) {
        if (method == m.name) known = &m;
    }
    if (known == nullptr) Bad(fault, "no driver method " + method);
    const std::string action = fault.substr(equals + 1);
    const size_t colon = action.find(':');
    const std::string kind = action.substr(0, colon);
    const bool hasValue = colon != std::string::npos;
    const std::string value = hasValue ? action.substr(colon + 1) : "";
    using firmware::CDriverFault;
    if (kind == "hr" && hasValue)
        return CDriverFault::Failure(method, nth, FailureCode(fault, value));
    if (kind == "status" && hasValue) {
        return CDriverFault::Status(method, nth,
                                    Decimal(fault, value, 1, 2147483647, "the status"));
    }
    if (kind == "size" && hasValue && method == "ReadBlock") {
        return CDriverFault::WrongByteCount(nth, Decimal(fault, value, 0, 65536, "the size"));
    }
    if (kind == "null" && !hasValue && method == "ReadBlock") return CDriverFault::NullBuffer(nth);
    if (kind == "unterminated" && !hasValue && method == "ReadValue") {
        return CDriverFault::Unterminated(nth);
    }
    if (kind == "untouched" && !hasValue && std::string(known->kinds) == "untouched") {
        return CDriverFault::StatusUntouched(method, nth);
    }
    Bad(fault, method + " takes hr:CODE, status:N" +
                   (std::string(known->kinds).empty() ? "" : ", " + std::string(known->kinds)));
}

std::string FaultHelp() {
    std::string help =
        "driver faults, --fault METHOD[#N]=KIND[:VALUE], no spaces:\n"
        "  #N          the method's Nth call (1 to 1000000); without #N every call\n"
        "  hr:CODE     the call returns CODE, 0x8... in hex or a name (E_FAIL, E_POINTER, ...)\n"
        "  status:N    the call sets the status word to N (decimal, not 0)\n"
        "  methods and the further kinds they take:\n";
    for (const CFaultMethod& m : kFaultMethods) {
        help += "    " + std::string(m.name) +
                (std::string(m.kinds).empty() ? "" : "  " + std::string(m.kinds)) + "\n";
    }
    return help +
           "  size:N      ReadBlock reports N bytes     null          ReadBlock hands out no "
           "buffer\n"
           "  unterminated  ReadValue fills the buffer without a zero byte\n"
           "  untouched   the call succeeds without setting the status word\n";
}

bool ParseMacText(const std::string& text, std::vector<BYTE>& bytes) {
    std::vector<BYTE> parsed;
    const auto hexByte = [](const std::string& digits) {
        return static_cast<BYTE>(std::strtoul(digits.c_str(), nullptr, 16));
    };
    if (text.find('.') != std::string::npos) {  // aabb.ccdd.eeff
        size_t start = 0;
        for (;;) {
            const size_t dot = text.find('.', start);
            const std::string group = text.substr(start, dot - start);
            if (group.size() != 4 || !AllOf(group, isxdigit)) return false;
            parsed.push_back(hexByte(group.substr(0, 2)));
            parsed.push_back(hexByte(group.substr(2, 2)));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
    } else {
        const char separator = text.find('-') != std::string::npos ? '-' : ':';
        size_t start = 0;
        for (;;) {
            const size_t end = text.find(separator, start);
            const std::string group = text.substr(start, end - start);
            if (group.empty() || group.size() > 2 || !AllOf(group, isxdigit)) return false;
            parsed.push_back(hexByte(group));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    bytes = std::move(parsed);
    return true;
}

void CheckIdentification(const std::string& what, const std::string& text, size_t maxLength) {
    bool printable = !text.empty() && text.size() <= maxLength;
    for (unsigned char c : text) printable = printable && c >= 0x20 && c <= 0x7E;
    if (!printable) {
        throw CUsageError(what + " has 1 to " + std::to_string(maxLength) +
                          " printable ASCII characters; refused: " + std::to_string(text.size()) +
                          " bytes given");
    }
}

void CheckRoot(const std::string& root) {
    if (root.empty()) throw CUsageError("--root needs a directory");
    if (root.size() > 99) {
        throw CUsageError("--root has " + std::to_string(root.size()) +
                          " characters; the module reads at most 99");
    }
    for (unsigned char c : root) {
        if (c < 0x20 || c > 0x7E) {
            throw CUsageError(
                "--root must be printable ASCII: the module carries only such a "
                "root unchanged");
        }
    }
}

}  // namespace norn::tool
