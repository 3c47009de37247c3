// CEEPROMStore: the simulated instrument's state behind the measurement driver: the EEPROM
// blocks with their pending writes, and the driver value items.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace norn::firmware {

// Blocks 22001 (1360 bytes) and 22002 (24 bytes), each with a committed image and, after a
// StoreBlock, a pending one that Commit makes the committed one; driver values by item (3 serial
// number, 4 material number, 16). A new store holds the factory state.
//
// The operations that a driver call carries out answer the status word the call sets
// (driver_status in DriverCall.h). Not thread-safe: the simulator calls it under its own lock.
class CEEPROMStore {
public:
    // A block buffer handed out: `data` holds `length` bytes and stays valid until the next
    // HandOut of the same block or the store's destruction; `byteCount` is what the driver
    // reports, which may differ from `length`.
    struct CHandedOut {
        BYTE* data = nullptr;
        LONG byteCount = 0;
        LONG length = 0;
    };

    CEEPROMStore();

    // Images of an unknown block are empty; SetCommittedImage throws std::invalid_argument for
    // an unknown block or a size other than the block's.
    std::vector<BYTE> CommittedImage(LONG block) const;
    std::vector<BYTE> CurrentImage(LONG block) const;  // the pending image if there is one
    void SetCommittedImage(LONG block, const std::vector<BYTE>& image);
    std::optional<std::string> Value(LONG item) const;
    void SetValue(LONG item, const std::string& text);
    LONG CommitCount() const { return m_commitCount; }
    bool HasPendingWrites() const;
    // False when a buffer that HandOut gave was written to since: it is the driver's.
    bool HandedOutBuffersIntact() const;

    // Makes the `byteCount` bytes of `image` the block's pending image.
    LONG StoreBlock(LONG block, LONG byteCount, const BYTE* image);
    // Makes every pending image the committed one, and counts the commit.
    void Commit();
    // Hands out the block's current image and reports its size, or reports `byteCount` instead,
    // or hands out `planned` instead of the image; nothing for an unknown block.
    std::optional<CHandedOut> HandOut(LONG block, std::optional<LONG> byteCount,
                                      const std::optional<std::vector<BYTE>>& planned);

    // The item's text into `buffer`: the first `code` bytes, padded with zero bytes.
    LONG CopyValue(LONG item, LONG code, BYTE* buffer) const;
    // The item's text into `buffer`, zero-terminated within `bufferSize`; unterminated, the text
    // repeated to fill all of it.
    LONG ReadText(LONG item, LONG bufferSize, BYTE* buffer, bool terminate) const;
    // The item's text from the `byteCount` bytes of `data`, up to the first zero byte.
    LONG StoreText(LONG item, LONG byteCount, const BYTE* data);

private:
    struct CBlock {
        LONG size = 0;
        std::vector<BYTE> committed;
        std::optional<std::vector<BYTE>> pending;
        std::vector<BYTE> handedOut;         // what the last HandOut pointed its caller at
        std::vector<BYTE> handedOutAsGiven;  // its content when it was handed out
    };

    CBlock* FindBlock(LONG block);
    const CBlock* FindBlock(LONG block) const;

    std::map<LONG, CBlock> m_blocks;
    std::map<LONG, std::string> m_values;
    LONG m_commitCount = 0;
};

// The factory images and values that a new store starts from.
std::vector<BYTE> FactoryImage(LONG block);
std::map<LONG, std::string> FactoryValues();

}  // namespace norn::firmware
