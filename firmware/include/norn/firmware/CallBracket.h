// A test's hook around each call the module makes into a simulator: the simulator stands for
// another process, so a test that instruments its own (an allocation hook that fails the nth
// allocation) pauses that instrumentation while the simulator works.
#pragma once

namespace norn::firmware {

// Called with true as a call begins and with false as it returns, on the caller's thread. It
// must not allocate. Null: no bracket.
using CCallBracket = void (*)(bool entering);

// Brackets one call for its scope.
class CInCall {
public:
    explicit CInCall(CCallBracket bracket) : m_bracket(bracket) {
        if (m_bracket != nullptr) m_bracket(true);
    }
    ~CInCall() {
        if (m_bracket != nullptr) m_bracket(false);
    }
    CInCall(const CInCall&) = delete;
    CInCall& operator=(const CInCall&) = delete;

private:
    CCallBracket m_bracket;
};

}  // namespace norn::firmware
