#include "diagnostics/DArray.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vo {

namespace {

// The most elements an array holds (8 GiB of samples).
constexpr std::int64_t MaxElements = std::int64_t{1} << 31;

[[noreturn]] void FileFormatError() { throw EDataArray("file format error"); }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// A whole line as a decimal integer within [Min, Max]; false otherwise.
bool ParseLine(std::string_view Line, std::int64_t Min, std::int64_t Max, std::int64_t& Out) {
    std::string_view s = Trimmed(Line);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    std::int64_t v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || v < Min || v > Max) return false;
    Out = v;
    return true;
}

} // namespace

TDataArray::TDataArray()
    : FData(std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(StoreBytes(0) / 4))),
      FCapacity(StoreBytes(0) / 4) {}

TDataArray::~TDataArray() = default;

void TDataArray::ColOutOfBounds() { throw EDataArray("col index out of bounds"); }
void TDataArray::RowOutOfBounds() { throw EDataArray("row index out of bounds"); }

void TDataArray::Reserve(std::int64_t Elements, bool Stepwise) {
    if (Elements > MaxElements) throw EDataArray("array size out of range");
    if (Elements <= FCapacity) return;
    std::int64_t capacity = StoreBytes(Elements) / 4;
    if (Stepwise) capacity = std::max(capacity, (FCapacity * 3 / 2 + 255) / 256 * 256);
    auto store = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(capacity));
    const std::int64_t used = ElementCount();
    if (used > 0) std::memcpy(store.get(), FData.get(), static_cast<std::size_t>(used) * 4);
    FData = std::move(store);
    FCapacity = capacity;
}

void TDataArray::Trim() {
    const std::int64_t used = ElementCount();
    const std::int64_t capacity = StoreBytes(used) / 4;
    if (capacity == FCapacity) return;
    auto store = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(capacity));
    if (used > 0) std::memcpy(store.get(), FData.get(), static_cast<std::size_t>(used) * 4);
    FData = std::move(store);
    FCapacity = capacity;
}

void TDataArray::Relayout(int Cols, int Rows) {
    const std::int64_t elements = static_cast<std::int64_t>(Cols) * Rows;
    const std::int64_t used = ElementCount();
    const bool step = (Cols == FColCount + 1 && Rows == FRowCount) || (Rows == FRowCount + 1 && Cols == FColCount);
    if (Cols == FColCount || (FRowCount <= 1 && Rows <= 1)) {
        // The flat prefix keeps every element's place.
        Reserve(elements, step);
        const std::int64_t kept = std::min(used, elements);
        std::fill(FData.get() + kept, FData.get() + elements, 0);
    } else {
        if (elements > MaxElements) throw EDataArray("array size out of range");
        const std::int64_t capacity = std::max(StoreBytes(elements) / 4, step ? FCapacity : 0);
        auto store = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(capacity));
        std::fill(store.get(), store.get() + elements, 0);
        const int cols = std::min(Cols, FColCount);
        const int rows = std::min(Rows, FRowCount);
        for (int r = 0; r < rows; ++r)
            std::copy_n(FData.get() + Flat(0, r), cols, store.get() + static_cast<std::size_t>(r) * Cols);
        FData = std::move(store);
        FCapacity = capacity;
    }
    SetCounts(Cols, Rows);
    if (FCapacity > 2 * (StoreBytes(elements) / 4)) Trim();
}

void TDataArray::SetColCount(int Value) {
    if (Value < 0) throw EDataArray("ColCount parameter negativ");
    if (Value != FColCount) Relayout(Value, FRowCount);
}

void TDataArray::SetRowCount(int Value) {
    if (Value < 0) throw EDataArray("RowCount parameter negativ");
    if (Value != FRowCount) Relayout(FColCount, Value);
}

void TDataArray::InsertCol(int ACol) {
    CheckCol(ACol, true);
    const int cols = FColCount;
    Reserve(static_cast<std::int64_t>(cols + 1) * FRowCount, true);
    std::int32_t* d = FData.get();
    // From the last row to the first, into the wider layout: the targets lie
    // at or after their sources.
    for (int r = FRowCount - 1; r >= 0; --r) {
        const std::size_t from = static_cast<std::size_t>(r) * cols;
        const std::size_t to = static_cast<std::size_t>(r) * (cols + 1);
        std::memmove(d + to + ACol + 1, d + from + ACol, static_cast<std::size_t>(cols - ACol) * 4);
        if (to != from) std::memmove(d + to, d + from, static_cast<std::size_t>(ACol) * 4);
        d[to + static_cast<std::size_t>(ACol)] = 0;
    }
    SetCounts(FColCount + 1, FRowCount);
}

void TDataArray::InsertRow(int ARow) {
    CheckRow(ARow, true);
    Reserve(static_cast<std::int64_t>(FColCount) * (FRowCount + 1), true);
    std::int32_t* d = FData.get();
    const std::size_t cols = static_cast<std::size_t>(FColCount);
    std::memmove(d + (ARow + 1) * cols, d + ARow * cols, (FRowCount - ARow) * cols * 4);
    std::fill_n(d + ARow * cols, cols, 0);
    SetCounts(FColCount, FRowCount + 1);
}

void TDataArray::DeleteCol(int ACol) {
    CheckCol(ACol);
    const int cols = FColCount;
    std::int32_t* d = FData.get();
    // From the first row on, into the narrower layout: the targets lie at or
    // before their sources.
    for (int r = 0; r < FRowCount; ++r) {
        const std::size_t from = static_cast<std::size_t>(r) * cols;
        const std::size_t to = static_cast<std::size_t>(r) * (cols - 1);
        if (to != from) std::memmove(d + to, d + from, static_cast<std::size_t>(ACol) * 4);
        std::memmove(d + to + ACol, d + from + ACol + 1, static_cast<std::size_t>(cols - ACol - 1) * 4);
    }
    SetCounts(FColCount - 1, FRowCount);
    if (FCapacity > 2 * (MemSize() / 4)) Trim();
}

void TDataArray::DeleteRow(int ARow) {
    CheckRow(ARow);
    std::int32_t* d = FData.get();
    const std::size_t cols = static_cast<std::size_t>(FColCount);
    std::memmove(d + ARow * cols, d + (ARow + 1) * cols, (FRowCount - ARow - 1) * cols * 4);
    SetCounts(FColCount, FRowCount - 1);
    if (FCapacity > 2 * (MemSize() / 4)) Trim();
}

void TDataArray::MoveCol(int FromCol, int ToCol) {
    CheckCol(FromCol);
    CheckCol(ToCol);
    if (FromCol == ToCol) return;
    for (int r = 0; r < FRowCount; ++r) {
        std::int32_t* row = FData.get() + Flat(0, r);
        if (FromCol < ToCol)
            std::rotate(row + FromCol, row + FromCol + 1, row + ToCol + 1);
        else
            std::rotate(row + ToCol, row + FromCol, row + FromCol + 1);
    }
}

void TDataArray::MoveRow(int FromRow, int ToRow) {
    CheckRow(FromRow);
    CheckRow(ToRow);
    if (FromRow == ToRow) return;
    std::int32_t* d = FData.get();
    const std::size_t cols = static_cast<std::size_t>(FColCount);
    if (FromRow < ToRow)
        std::rotate(d + FromRow * cols, d + (FromRow + 1) * cols, d + (ToRow + 1) * cols);
    else
        std::rotate(d + ToRow * cols, d + FromRow * cols, d + (FromRow + 1) * cols);
}

void TDataArray::CopyCol(int FromCol, int ToCol) {
    CheckCol(FromCol);
    CheckCol(ToCol);
    for (int r = 0; r < FRowCount; ++r) FData[Flat(ToCol, r)] = FData[Flat(FromCol, r)];
}

void TDataArray::CopyRow(int FromRow, int ToRow) {
    CheckRow(FromRow);
    CheckRow(ToRow);
    if (FromRow != ToRow) std::copy_n(FData.get() + Flat(0, FromRow), FColCount, FData.get() + Flat(0, ToRow));
}

void TDataArray::SetCol(int ACol, std::int32_t Value) {
    CheckCol(ACol);
    for (int r = 0; r < FRowCount; ++r) FData[Flat(ACol, r)] = Value;
}

void TDataArray::SetRow(int ARow, std::int32_t Value) {
    CheckRow(ARow);
    std::fill_n(FData.get() + Flat(0, ARow), FColCount, Value);
}

void TDataArray::SetAll(std::int32_t Value) { std::fill_n(FData.get(), ElementCount(), Value); }

void TDataArray::SetSpecial() {
    const std::int64_t n = ElementCount();
    for (std::int64_t i = 0; i < n; ++i) FData[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(i);
}

void TDataArray::SaveToFile(std::ostream& TextFile) const {
    std::string out = "TDataArray\n1\n" + std::to_string(FColCount) + "\n" + std::to_string(FRowCount) + "\n";
    const std::int64_t n = ElementCount();
    out.reserve(out.size() + static_cast<std::size_t>(n) * 12);
    char buf[16];
    for (std::int64_t i = 0; i < n; ++i) {
        const auto res = std::to_chars(buf, buf + sizeof buf, FData[static_cast<std::size_t>(i)]);
        out.append(buf, res.ptr);
        out.push_back('\n');
    }
    TextFile.write(out.data(), static_cast<std::streamsize>(out.size()));
}

void TDataArray::LoadFromFile(std::istream& TextFile) {
    std::string line;
    if (!std::getline(TextFile, line) || Trimmed(line) != "TDataArray") FileFormatError();
    if (!std::getline(TextFile, line)) FileFormatError();
    if (Trimmed(line) != "1") return; // another version: nothing to read
    std::int64_t cols = 0, rows = 0;
    if (!std::getline(TextFile, line) || !ParseLine(line, 0, INT32_MAX, cols)) FileFormatError();
    if (!std::getline(TextFile, line) || !ParseLine(line, 0, INT32_MAX, rows)) FileFormatError();
    const std::int64_t n = cols * rows;
    if (n > MaxElements) FileFormatError();
    // Read what the text holds before anything is allocated for the counts.
    std::vector<std::int32_t> values;
    values.reserve(static_cast<std::size_t>(std::min<std::int64_t>(n, 1 << 16)));
    while (static_cast<std::int64_t>(values.size()) < n) {
        std::int64_t v = 0;
        if (!std::getline(TextFile, line) || !ParseLine(line, INT32_MIN, INT32_MAX, v)) FileFormatError();
        values.push_back(static_cast<std::int32_t>(v));
    }
    const std::int64_t capacity = StoreBytes(n) / 4;
    auto store = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(capacity));
    std::copy(values.begin(), values.end(), store.get());
    FData = std::move(store);
    FCapacity = capacity;
    SetCounts(static_cast<int>(cols), static_cast<int>(rows));
}

} // namespace vo
