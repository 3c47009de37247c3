// How the fuzz targets read their inputs and the seed writer writes them. A target's input layout
// is written once, as a function template over a stream (Describe), and runs both ways:
// CInputReader takes the values from the fuzzer's input, CSeedWriter lays given values out so that
// a CInputReader reads back exactly them. Choices and numbers come from the end of the input, byte
// pieces from the front, and a used-up input reads as zeros and empty pieces: every layout gives 0
// its most ordinary meaning.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace norn::fuzz {

class CInputReader {
public:
    CInputReader(const uint8_t* data, size_t size) : m_input(data, size) {}

    // One of `count` choices (count <= 256).
    void Choice(unsigned& value, unsigned count) {
        value = m_input.ConsumeIntegralInRange<unsigned>(0, count - 1);
    }
    void Number(uint32_t& value) { value = m_input.ConsumeIntegral<uint32_t>(); }
    // A byte string of at most maxLength bytes.
    void Piece(std::string& value, size_t maxLength) {
        value = m_input.ConsumeBytesAsString(m_input.ConsumeIntegralInRange<size_t>(0, maxLength));
    }
    // Exactly `length` bytes, zero-filled when the input runs out.
    void Bytes(std::string& value, size_t length) {
        value = m_input.ConsumeBytesAsString(length);
        value.resize(length, '\0');
    }

private:
    FuzzedDataProvider m_input;
};

class CSeedWriter {
public:
    void Choice(unsigned value, unsigned count) { Integral(value, count - 1, 32); }
    void Number(uint32_t value) { Integral(value, UINT32_MAX, 32); }
    void Piece(const std::string& value, size_t maxLength) {
        Integral(value.size(), maxLength, 8 * sizeof(size_t));
        m_front += value;
    }
    void Bytes(std::string value, size_t length) {
        value.resize(length, '\0');
        m_front += value;
    }

    // The input: the pieces in order, then the numbers, the first one read last.
    std::string Build() const { return m_front + std::string(m_back.rbegin(), m_back.rend()); }

private:
    // FuzzedDataProvider takes a number from the end, most significant byte first, as many
    // bytes as its range needs (at most the type's width).
    void Integral(uint64_t value, uint64_t range, unsigned typeBits) {
        unsigned bytes = 0;
        for (unsigned offset = 0; offset < typeBits && (range >> offset) > 0; offset += 8) ++bytes;
        for (unsigned i = bytes; i-- > 0;) m_back.push_back(static_cast<char>(value >> (8 * i)));
    }

    std::string m_front;
    std::string m_back;  // in the order read
};

// A case as a target reads it from an input, and the input that reads back as a case.
template <class Case>
Case ReadCase(const uint8_t* data, size_t size) {
    CInputReader reader(data, size);
    Case c;
    Describe(reader, c);
    return c;
}
template <class Case>
std::string Encode(Case c) {
    CSeedWriter writer;
    Describe(writer, c);
    return writer.Build();
}

}  // namespace norn::fuzz
