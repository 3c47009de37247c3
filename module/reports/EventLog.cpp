#include "reports/EventLog.h"

void CEventLog::Report(const OLECHAR* text) noexcept {
    HANDLE source = RegisterEventSourceW(nullptr, kEventSourceName);
    if (source == nullptr) return;
    LPCWSTR strings[] = {text};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);  // whether or not the event was written
}
