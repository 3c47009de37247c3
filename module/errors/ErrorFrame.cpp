#include "errors/ErrorFrame.h"

namespace {

thread_local CErrorFrame* t_innermostFrame = nullptr;

}  // namespace

CErrorFrame::CErrorFrame(const char* reportCode, PFN_REPORT_ERROR report) noexcept
    : m_reportCode(reportCode), m_report(report), m_outer(t_innermostFrame) {
    t_innermostFrame = this;
}

CErrorFrame::~CErrorFrame() {
    t_innermostFrame = m_outer;
}

void CErrorFrame::OnRaise(const CExceptionError& error) noexcept {
    CErrorFrame* frame = t_innermostFrame;
    if (frame == nullptr || !frame->Reports() || frame->m_reported) return;
    frame->m_reported = true;
    // The report's own lookups raise inside a frame of their own: nothing in them reaches here.
    CErrorFrame reporting;
    frame->m_report(error, frame->m_reportCode);
}

void CErrorFrame::ReportIfNotYet(const CExceptionError& error) noexcept {
    if (m_reported || !Reports()) return;
    m_reported = true;
    m_report(error, m_reportCode);
}
