#pragma once
// A dense two-dimensional array of 32-bit signed integers, stored row after
// row: element (Col, Row) sits at Col + Row * ColCount of the flat store.
// Recorded oscilloscope channels keep their raw samples in one row of it.
#include <cstdint>
#include <iosfwd>
#include <memory>

#include "platform/Exception.h"

namespace vo {

class EDataArray : public Exception {
public:
    using Exception::Exception;
};

class TDataArray {
public:
    TDataArray();
    ~TDataArray();
    TDataArray(const TDataArray&) = delete;
    TDataArray& operator=(const TDataArray&) = delete;

    int GetColCount() const noexcept { return FColCount; }
    int GetRowCount() const noexcept { return FRowCount; }
    // The elements of row 0: the column count, or 0 without rows. An index
    // below it needs no other check.
    int GetFirstRowLength() const noexcept { return static_cast<int>(FFirstRowLength); }
    // Growing appends zero columns (rows) at the end, shrinking drops the last
    // ones. A negative count raises "ColCount parameter negativ" ("RowCount
    // parameter negativ").
    void SetColCount(int Value);
    void SetRowCount(int Value);

    // Insert a column (row) of zeros before the index; the index may equal the
    // count (append).
    void InsertCol(int ACol);
    void InsertRow(int ARow);
    void DeleteCol(int ACol);
    void DeleteRow(int ARow);
    // Moves one so that it ends at the target index.
    void MoveCol(int FromCol, int ToCol);
    void MoveRow(int FromRow, int ToRow);
    // Overwrites one with a copy of another.
    void CopyCol(int FromCol, int ToCol);
    void CopyRow(int FromRow, int ToRow);
    void SetCol(int ACol, std::int32_t Value);
    void SetRow(int ARow, std::int32_t Value);
    void SetAll(std::int32_t Value);
    // Every element takes its flat position (0, 1, 2 ...).
    void SetSpecial();

    std::int32_t GetValue(int Col, int Row) const {
        CheckCol(Col);
        CheckRow(Row);
        return FData[Flat(Col, Row)];
    }
    void SetValue(int Col, int Row, std::int32_t Value) {
        CheckCol(Col);
        CheckRow(Row);
        FData[Flat(Col, Row)] = Value;
    }
    // The flat store (ColCount * RowCount elements), for bulk readers.
    const std::int32_t* Data() const noexcept { return FData.get(); }
    std::int32_t* Data() noexcept { return FData.get(); }

    // The size of the store in whole kilobytes, always larger than the data:
    // (ColCount * RowCount * 4 / 1024 + 1) * 1024 bytes.
    std::int64_t MemSize() const noexcept { return StoreBytes(ElementCount()); }
    // Bytes the store holds at the moment: MemSize, or more while elements
    // are being appended one step at a time.
    std::int64_t Capacity() const noexcept { return FCapacity * 4; }
    // Gives back what appending reserved beyond MemSize.
    void Trim();

    // Text form, one item per line: "TDataArray", "1", column count, row
    // count, then every element in flat order. Loading checks the whole text
    // first: a wrong first line, bad counts, bad numbers or too few values
    // raise "file format error" and leave the array unchanged; a version other
    // than "1" is ignored without a change.
    void SaveToFile(std::ostream& TextFile) const;
    void LoadFromFile(std::istream& TextFile);

private:
    static std::int64_t StoreBytes(std::int64_t Elements) noexcept { return (Elements * 4 / 1024 + 1) * 1024; }
    std::int64_t ElementCount() const noexcept {
        return static_cast<std::int64_t>(FColCount) * static_cast<std::int64_t>(FRowCount);
    }
    std::size_t Flat(int Col, int Row) const noexcept {
        return static_cast<std::size_t>(Col) + static_cast<std::size_t>(Row) * static_cast<std::size_t>(FColCount);
    }
    void CheckCol(int ACol, bool AppendAllowed = false) const {
        if (ACol < 0 || ACol > FColCount || (ACol == FColCount && !AppendAllowed)) [[unlikely]]
            ColOutOfBounds();
    }
    void CheckRow(int ARow, bool AppendAllowed = false) const {
        if (ARow < 0 || ARow > FRowCount || (ARow == FRowCount && !AppendAllowed)) [[unlikely]]
            RowOutOfBounds();
    }
    [[noreturn]] static void ColOutOfBounds();
    [[noreturn]] static void RowOutOfBounds();
    // Makes room for Elements; Stepwise growth reserves geometrically so that
    // appending one column or row at a time stays linear.
    void Reserve(std::int64_t Elements, bool Stepwise);
    void SetCounts(int Cols, int Rows) noexcept {
        FColCount = Cols;
        FRowCount = Rows;
        FFirstRowLength = Rows > 0 ? Cols : 0;
    }
    // New counts with every element kept at its (Col, Row); new ones are 0.
    void Relayout(int Cols, int Rows);

    std::unique_ptr<std::int32_t[]> FData;
    std::int64_t FCapacity = 0; // elements
    int FColCount = 0;
    int FRowCount = 0;
    // Wider than an element: a store of a sample cannot change it, so a loop
    // over the samples keeps it in a register.
    std::int64_t FFirstRowLength = 0;
};

} // namespace vo
