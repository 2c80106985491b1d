// The raw sample array: inserts, deletes and moves in the flat row-major
// store, index checks, the store size, and the text form with damaged files.
#include "diagnostics/DArray.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ExpectError.h"

namespace vo {
namespace {

std::vector<std::int32_t> Flat(const TDataArray& A) {
    std::vector<std::int32_t> out;
    for (int r = 0; r < A.GetRowCount(); ++r)
        for (int c = 0; c < A.GetColCount(); ++c) out.push_back(A.GetValue(c, r));
    return out;
}

// Cols x Rows holding their flat positions.
void Special(TDataArray& A, int Cols, int Rows) {
    A.SetColCount(Cols);
    A.SetRowCount(Rows);
    A.SetSpecial();
}

using V = std::vector<std::int32_t>;

TEST(DataArray, ReorderingTheFlatStore) {
    struct Case {
        const char* Name;
        void (*Op)(TDataArray&);
        V Expected;
    };
    const Case cases[] = {
        {"InsertCol 2 appends", [](TDataArray& a) { a.InsertCol(3); }, {0, 1, 2, 0, 3, 4, 5, 0}},
        {"InsertCol 1", [](TDataArray& a) { a.InsertCol(1); }, {0, 0, 1, 2, 3, 0, 4, 5}},
        {"InsertCol 0", [](TDataArray& a) { a.InsertCol(0); }, {0, 0, 1, 2, 0, 3, 4, 5}},
        {"InsertRow 1", [](TDataArray& a) { a.InsertRow(1); }, {0, 1, 2, 0, 0, 0, 3, 4, 5}},
        {"InsertRow 2 appends", [](TDataArray& a) { a.InsertRow(2); }, {0, 1, 2, 3, 4, 5, 0, 0, 0}},
        {"DeleteCol 1", [](TDataArray& a) { a.DeleteCol(1); }, {0, 2, 3, 5}},
        {"DeleteCol 2", [](TDataArray& a) { a.DeleteCol(2); }, {0, 1, 3, 4}},
        {"DeleteRow 0", [](TDataArray& a) { a.DeleteRow(0); }, {3, 4, 5}},
        {"MoveCol 0 to 2", [](TDataArray& a) { a.MoveCol(0, 2); }, {1, 2, 0, 4, 5, 3}},
        {"MoveCol 2 to 0", [](TDataArray& a) { a.MoveCol(2, 0); }, {2, 0, 1, 5, 3, 4}},
        {"MoveCol 1 to 1", [](TDataArray& a) { a.MoveCol(1, 1); }, {0, 1, 2, 3, 4, 5}},
        {"MoveRow 0 to 1", [](TDataArray& a) { a.MoveRow(0, 1); }, {3, 4, 5, 0, 1, 2}},
        {"MoveRow 1 to 0", [](TDataArray& a) { a.MoveRow(1, 0); }, {3, 4, 5, 0, 1, 2}},
        {"CopyCol 0 to 2", [](TDataArray& a) { a.CopyCol(0, 2); }, {0, 1, 0, 3, 4, 3}},
        {"CopyRow 1 to 0", [](TDataArray& a) { a.CopyRow(1, 0); }, {3, 4, 5, 3, 4, 5}},
        {"SetCol 1", [](TDataArray& a) { a.SetCol(1, -7); }, {0, -7, 2, 3, -7, 5}},
        {"SetRow 0", [](TDataArray& a) { a.SetRow(0, 9); }, {9, 9, 9, 3, 4, 5}},
        {"SetAll", [](TDataArray& a) { a.SetAll(1); }, {1, 1, 1, 1, 1, 1}},
        {"more columns", [](TDataArray& a) { a.SetColCount(4); }, {0, 1, 2, 0, 3, 4, 5, 0}},
        {"fewer columns", [](TDataArray& a) { a.SetColCount(1); }, {0, 3}},
        {"more rows", [](TDataArray& a) { a.SetRowCount(3); }, {0, 1, 2, 3, 4, 5, 0, 0, 0}},
        {"fewer rows", [](TDataArray& a) { a.SetRowCount(1); }, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TDataArray a;
        Special(a, 3, 2);
        c.Op(a);
        EXPECT_EQ(Flat(a), c.Expected);
        EXPECT_EQ(V(a.Data(), a.Data() + c.Expected.size()), c.Expected) << "the flat store itself";
    }
}

TEST(DataArray, BadIndexesRaiseAndChangeNothing) {
    struct Case {
        void (*Op)(TDataArray&);
        const char* Message;
    };
    const Case cases[] = {
        {[](TDataArray& a) { a.InsertCol(4); }, "col index out of bounds"},
        {[](TDataArray& a) { a.InsertCol(-1); }, "col index out of bounds"},
        {[](TDataArray& a) { a.InsertRow(3); }, "row index out of bounds"},
        {[](TDataArray& a) { a.DeleteCol(3); }, "col index out of bounds"},
        {[](TDataArray& a) { a.DeleteRow(2); }, "row index out of bounds"},
        {[](TDataArray& a) { a.MoveCol(3, 0); }, "col index out of bounds"},
        {[](TDataArray& a) { a.MoveCol(0, 3); }, "col index out of bounds"},
        {[](TDataArray& a) { a.MoveRow(0, 2); }, "row index out of bounds"},
        {[](TDataArray& a) { a.CopyCol(0, 3); }, "col index out of bounds"},
        {[](TDataArray& a) { a.CopyRow(-1, 0); }, "row index out of bounds"},
        {[](TDataArray& a) { a.SetCol(3, 0); }, "col index out of bounds"},
        {[](TDataArray& a) { a.SetRow(2, 0); }, "row index out of bounds"},
        {[](TDataArray& a) { a.GetValue(3, 0); }, "col index out of bounds"},
        {[](TDataArray& a) { a.GetValue(0, -1); }, "row index out of bounds"},
        {[](TDataArray& a) { a.SetValue(-1, 0, 1); }, "col index out of bounds"},
        {[](TDataArray& a) { a.SetColCount(-1); }, "ColCount parameter negativ"},
        {[](TDataArray& a) { a.SetRowCount(-1); }, "RowCount parameter negativ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Message);
        TDataArray a;
        Special(a, 3, 2);
        test::ExpectError<EDataArray>([&] { c.Op(a); }, c.Message);
        EXPECT_EQ(Flat(a), (V{0, 1, 2, 3, 4, 5}));
    }
}

TEST(DataArray, StoreSizeInWholeKilobytes) {
    TDataArray a;
    EXPECT_EQ(a.MemSize(), 1024);
    a.SetRowCount(1);
    a.SetColCount(255);
    EXPECT_EQ(a.MemSize(), 1024);
    a.SetColCount(256);
    EXPECT_EQ(a.MemSize(), 2048);
    a.SetRowCount(4);
    EXPECT_EQ(a.MemSize(), 5120);
    a.SetColCount(0);
    EXPECT_EQ(a.MemSize(), 1024);
    EXPECT_EQ(a.Capacity(), 1024);
}

TEST(DataArray, AppendingAMillionColumnsStaysLinearAndTrims) {
    constexpr int n = 1000000;
    TDataArray a;
    a.SetRowCount(1);
    for (int i = 0; i < n; ++i) {
        a.InsertCol(i);
        a.SetValue(i, 0, i);
    }
    EXPECT_GE(a.Capacity(), std::int64_t{n} * 4);
    a.Trim();
    EXPECT_EQ(a.Capacity(), a.MemSize());
    EXPECT_LT(a.Capacity(), std::int64_t{n} * 4 + 1024);
    EXPECT_EQ(a.GetValue(n - 1, 0), n - 1);
    EXPECT_EQ(a.GetValue(123456, 0), 123456);

    TDataArray b;
    b.SetRowCount(1);
    for (int i = 1; i <= n; ++i) b.SetColCount(i);
    b.SetColCount(n / 2); // shrinking gives the surplus back
    EXPECT_LT(b.Capacity(), std::int64_t{n} * 4);
}

std::string Text(const TDataArray& A) {
    std::ostringstream s;
    A.SaveToFile(s);
    return s.str();
}

TEST(DataArray, TextFormRoundTrips) {
    TDataArray a;
    Special(a, 3, 2);
    a.SetValue(1, 1, -2147483647 - 1);
    a.SetValue(2, 1, 2147483647);
    const std::string text = Text(a);
    EXPECT_EQ(text, "TDataArray\n1\n3\n2\n0\n1\n2\n3\n-2147483648\n2147483647\n");
    TDataArray b;
    std::istringstream in(text);
    b.LoadFromFile(in);
    EXPECT_EQ(b.GetColCount(), 3);
    EXPECT_EQ(b.GetRowCount(), 2);
    EXPECT_EQ(Text(b), text);

    // Line ends of the other platform and surrounding blanks are read as well.
    std::istringstream crlf("TDataArray\r\n1\r\n2\r\n1\r\n 5 \r\n-6\r\n");
    b.LoadFromFile(crlf);
    EXPECT_EQ(Flat(b), (V{5, -6}));
}

TEST(DataArray, DamagedTextsChangeNothing) {
    const char* refused[] = {
        "",
        "TDataArrays\n1\n1\n1\n5\n",
        "tdataarray\n1\n1\n1\n5\n",
        "TDataArray\n",
        "TDataArray\n1\n",
        "TDataArray\n1\n-1\n1\n",
        "TDataArray\n1\n2\nx\n",
        "TDataArray\n1\n2\n1\n5\n", // one value missing
        "TDataArray\n1\n2\n1\n5\n2147483648\n", // beyond 32 bits
        "TDataArray\n1\n2\n1\n5\n6x\n",
        "TDataArray\n1\n2147483647\n2147483647\n1\n", // counts beyond what any file holds
        "TDataArray\n1\n65536\n65537\n", // more than 2^31 elements
        "TDataArray\n1\n1000000\n1000\n1\n2\n",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        TDataArray a;
        Special(a, 3, 2);
        std::istringstream in(text);
        test::ExpectError<EDataArray>([&] { a.LoadFromFile(in); }, "file format error");
        EXPECT_EQ(a.GetColCount(), 3);
        EXPECT_EQ(Flat(a), (V{0, 1, 2, 3, 4, 5}));
    }
    // Another version is passed over without a word.
    TDataArray a;
    Special(a, 3, 2);
    std::istringstream v2("TDataArray\n2\n1\n1\n9\n");
    a.LoadFromFile(v2);
    EXPECT_EQ(Flat(a), (V{0, 1, 2, 3, 4, 5}));
}

} // namespace
} // namespace vo
