#pragma once
// The one way tests expect an error: the operation must raise an exception of
// the class asked for, with exactly this message.
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

namespace vo::test {

// The message of the exception F raises, or "(no exception)".
inline std::string ExceptionText(const std::function<void()>& F) {
    try {
        F();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// Runs Op, which must raise an E (an Exception unless said otherwise) whose
// message is Text. An exception of another class fails the test as well.
template <class E = Exception>
void ExpectError(const std::function<void()>& Op, const std::string& Text) {
    try {
        Op();
        ADD_FAILURE() << "no exception, expected: " << Text;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), Text);
    } catch (...) {
        ADD_FAILURE() << "another exception class: " << ExceptionText([] { throw; }) << "\nexpected: " << Text;
    }
}

} // namespace vo::test
