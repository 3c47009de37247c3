#include "errors/ExceptionError.h"

#include <atlexcept.h>

CExceptionError::CExceptionError(HRESULT hr, const OLECHAR* file, LONG line, IErrorInfo* errorInfo)
    : _com_error(hr, errorInfo, true), m_file(nullptr), m_line(line) {
    if (file == nullptr) return;
    m_file = SysAllocString(file);
    if (m_file == nullptr) ATL::AtlThrow(E_OUTOFMEMORY);
}

CExceptionError::CExceptionError(const CExceptionError& other)
    : _com_error(other), m_file(nullptr), m_line(other.m_line) {
    if (other.m_file == nullptr) return;
    m_file = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(other.m_file),
                                   SysStringByteLen(other.m_file));
    if (m_file == nullptr) ATL::AtlThrow(E_OUTOFMEMORY);
}

CExceptionError::CExceptionError(CExceptionError&& other) noexcept
    : _com_error(other), m_file(other.m_file), m_line(other.m_line) {
    other.m_file = nullptr;
}

CExceptionError::~CExceptionError() {
    SysFreeString(m_file);
}
