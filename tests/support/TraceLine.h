#pragma once
// Trace lines with a time field, "[gggg] (   12.345) - text": the group, the
// seconds in a field of 10 characters (spaces, digits, a point, three digits),
// then the text.
#include <cctype>
#include <string>

namespace vo::test {

// Whether Line is "[<Group>] (<time>) - <Text>" with a well-formed time field.
inline bool IsTimedTraceLine(const std::string& Line, const std::string& Group, const std::string& Text) {
    const std::string head = "[" + Group + "] (";
    const std::string tail = ") - " + Text;
    if (Line.size() != head.size() + 10 + tail.size() || Line.compare(0, head.size(), head) != 0 ||
        Line.compare(head.size() + 10, std::string::npos, tail) != 0)
        return false;
    const std::string time = Line.substr(head.size(), 10);
    const size_t digits = time.find_first_not_of(' ');
    const size_t point = time.size() - 4;
    if (digits == std::string::npos || digits >= point || time[point] != '.')
        return false;
    for (size_t i = digits; i < time.size(); ++i)
        if (i != point && !std::isdigit(static_cast<unsigned char>(time[i])))
            return false;
    return true;
}

} // namespace vo::test
