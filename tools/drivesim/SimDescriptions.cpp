#include "tools/drivesim/SimDescriptions.h"

#include "platform/Exception.h"

#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

namespace vo {

namespace {

struct Keyed;

struct Value {
    enum Kind { Number,
                Text,
                List,
                Dict,
                Record,
                Other } kind = Other;
    int64_t number = 0;
    std::string text;
    std::string type; // D:Type
    std::vector<Value> items; // list items, record parts
    std::vector<Keyed> keys; // dictionary
};

struct Keyed {
    std::string first;
    Value second;
};

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Reader {
public:
    explicit Reader(std::string_view t) : t_(t) {}

    Value Read() {
        Skip();
        if (at_ >= t_.size()) Fail("unexpected end");
        const char c = t_[at_];
        if (c == '[') return Composite();
        if (c == '\'') return String();
        if (c == '#') {
            ++at_;
            Value v = Word();
            v.kind = Value::Number;
            return v;
        }
        if (c == '@') {
            ++at_;
            Value v = Word();
            v.kind = Value::Other;
            auto it = defs_.find(Lower(v.text));
            if (it == defs_.end()) Fail("unknown reference @" + v.text);
            return it->second;
        }
        Value v = Word();
        return v;
    }

    bool AtEnd() {
        Skip();
        return at_ >= t_.size();
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw Exception("SimDescriptions: " + what + " at offset " + std::to_string(at_));
    }
    void Skip() {
        while (at_ < t_.size()) {
            if (std::isspace(static_cast<unsigned char>(t_[at_]))) {
                ++at_;
            } else if (t_[at_] == '%') {
                while (at_ < t_.size() && t_[at_] != '\n') ++at_;
            } else {
                break;
            }
        }
    }
    Value Word() {
        size_t start = at_;
        while (at_ < t_.size() && !std::isspace(static_cast<unsigned char>(t_[at_])) && t_[at_] != '[' &&
               t_[at_] != ']' && t_[at_] != '%')
            ++at_;
        Value v;
        v.text = std::string(t_.substr(start, at_ - start));
        if (v.text.empty()) Fail("empty word");
        try {
            size_t used = 0;
            v.number = std::stoll(v.text, &used, 0);
            v.kind = used == v.text.size() ? Value::Number : Value::Other;
        } catch (...) {
            v.kind = Value::Other;
        }
        return v;
    }
    Value String() {
        ++at_;
        Value v;
        v.kind = Value::Text;
        while (at_ < t_.size() && t_[at_] != '\'') {
            if (t_[at_] == '\\' && at_ + 1 < t_.size()) ++at_;
            v.text += t_[at_++];
        }
        if (at_ >= t_.size()) Fail("unterminated string");
        ++at_;
        return v;
    }
    Value Composite() {
        // Descriptions nest a few levels; a deeper text is refused before the
        // stack is at risk.
        if (++depth_ > 64) Fail("composites nested too deeply");
        ++at_;
        size_t start = at_;
        while (at_ < t_.size() && !std::isspace(static_cast<unsigned char>(t_[at_])) && t_[at_] != ']' &&
               t_[at_] != '[')
            ++at_;
        const std::string head(t_.substr(start, at_ - start));
        const std::string kind = head.substr(0, head.find(':'));
        Value v;
        v.type = head.find(':') == std::string::npos ? "" : head.substr(head.find(':') + 1);
        v.kind = kind == "D" ? Value::Dict : kind == "R" ? Value::Record
                                                         : Value::List;
        for (;;) {
            Skip();
            if (at_ >= t_.size()) Fail("unterminated composite");
            if (t_[at_] == ']') {
                ++at_;
                break;
            }
            if (v.kind == Value::Dict && t_[at_] == '/') {
                ++at_;
                Value name = Word();
                v.keys.push_back(Keyed{name.text, Read()});
            } else {
                v.items.push_back(Read());
            }
        }
        if (v.kind == Value::Dict && !v.type.empty()) defs_[Lower(v.type)] = v;
        --depth_;
        return v;
    }

    std::string_view t_;
    size_t at_ = 0;
    int depth_ = 0;
    std::map<std::string, Value> defs_;
};

const Value* Key(const Value& dict, const std::string& name) {
    for (const auto& [k, v] : dict.keys)
        if (Lower(k) == Lower(name)) return &v;
    return nullptr;
}

// The bytes of a value type; 0 for texts (their "MaxSize" counts), for
// directories and for enumerator and radio children (they hold nothing).
uint8_t WidthOf(const std::string& type) {
    static const std::map<std::string, uint8_t> widths = {
        {"uint8", 1}, {"sint8", 1}, {"uint16", 2}, {"sint16", 2}, {"uint32", 4}, {"sint32", 4}, {"bool", 2}, {"enumdir8", 1}, {"enumdir16", 2}, {"enumdir32", 2}, {"radiodir16", 2}, {"radiodir32", 4}, {"radiodirbit", 2}};
    const auto it = widths.find(Lower(type));
    return it == widths.end() ? 0 : it->second;
}

bool IsText(const std::string& type) {
    const std::string t = Lower(type);
    return t == "string" || t == "capdir";
}

// Calls Each for every record of the description's array Name, with a look-up
// of its fields (the record's value, else the definition's default).
using SimField = std::function<const Value*(const char*)>;
void ForEachRecord(std::string_view text, const char* Name, const std::function<void(const Value& Def, const SimField& Field)>& Each) {
    Reader r(text);
    Value root = r.Read();
    const Value* array = root.kind == Value::Dict ? Key(root, Name) : nullptr;
    if (!array) return;
    for (const Value& rec : array->items) {
        if (rec.kind != Value::Record || rec.items.size() != 2) continue;
        const Value& def = rec.items[0];
        const Value& values = rec.items[1];
        Each(def, [&](const char* name) -> const Value* {
            for (size_t i = 0; i < def.keys.size(); ++i)
                if (Lower(def.keys[i].first) == Lower(name))
                    return i < values.items.size() ? &values.items[i] : &def.keys[i].second;
            return nullptr;
        });
    }
}

} // namespace

std::vector<SimDescribedParameter> SimReadDescribedParameters(std::string_view text) {
    std::vector<SimDescribedParameter> out;
    ForEachRecord(text, "ParameterArray", [&](const Value& def, const SimField& field) {
        SimDescribedParameter p;
        p.type = def.type;
        p.size = WidthOf(def.type);
        p.text = IsText(def.type);
        if (const Value* v = field("MaxSize"); p.text && v && v->kind == Value::Number && v->number > 0 && v->number <= 255)
            p.size = uint8_t(v->number);
        const Value* upid = field("DEVICE_UPID");
        if (!upid) upid = field("UPID");
        if (!upid || upid->kind != Value::Number || upid->number < 0 || upid->number >= 0xFFFF || p.size == 0)
            return;
        p.upid = uint16_t(upid->number);
        if (const Value* v = field("DefValue"); v && v->kind == Value::Number) p.defValue = v->number;
        if (const Value* v = field("DefValue"); p.text && v && v->kind == Value::Text) p.defText = v->text;
        if (const Value* v = field("AddrUsage"); v && v->kind == Value::Number) p.addrUsage = uint16_t(v->number);
        out.push_back(p);
    });
    return out;
}

SimBytes SimDescribedValue(const SimDescribedParameter& p) {
    if (!p.text) return SimLE(uint32_t(p.defValue), p.size);
    SimBytes v = p.defText;
    v.resize(p.size, '\0');
    return v;
}

namespace {

uint8_t VariableWidth(const std::string& type) {
    static const std::map<std::string, uint8_t> widths = {
        {"uint8", 1}, {"sint8", 1}, {"bool", 1}, {"enumdir8", 1}, {"uint16", 2}, {"sint16", 2}, {"enumdir16", 2}, {"uint32", 4}, {"sint32", 4}, {"velfloat", 4}, {"floatieee754", 4}, {"uint48", 6}, {"sint48", 6}};
    const auto it = widths.find(Lower(type));
    return it == widths.end() ? 0 : it->second;
}

} // namespace

std::vector<SimDescribedParameter> SimReadDescribedVariables(std::string_view text) {
    std::vector<SimDescribedParameter> out;
    ForEachRecord(text, "VariableArray", [&](const Value& def, const SimField& field) {
        SimDescribedParameter p;
        p.type = def.type;
        p.text = Lower(def.type) == "string";
        if (p.text) {
            const Value* maxSize = field("MaxSize");
            if (!maxSize || maxSize->kind != Value::Number || maxSize->number <= 0 || maxSize->number > 250) return;
            p.size = uint8_t(maxSize->number);
        } else {
            p.size = VariableWidth(def.type);
        }
        const Value* upid = field("DEVICE_UPID");
        if (!upid || upid->kind != Value::Number || upid->number == 0) upid = field("UPID");
        if (!upid || upid->kind != Value::Number || upid->number < 0 || upid->number >= 0xFFFF || p.size == 0)
            return;
        p.upid = uint16_t(upid->number);
        if (const Value* v = field("Data"); v && v->kind == Value::Text) {
            p.data = v->text.substr(0, p.size);
            p.hasData = true;
        } else if (const Value* v = field("DefValue"); v && v->kind == Value::Number) {
            p.defValue = v->number;
        }
        if (const Value* v = field("AddrUsage"); v && v->kind == Value::Number) p.addrUsage = uint16_t(v->number);
        out.push_back(p);
    });
    return out;
}

void SimApplyDescription(SimDrive& drive, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception("SimDescriptions: cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    for (const SimDescribedParameter& d : SimReadDescribedParameters(ss.str())) {
        SimParameter& p = drive.SetParameter(d.upid, d.size, SimDescribedValue(d), true);
        p.ramWritable = (d.addrUsage & 0x0002) != 0;
        p.romWritable = (d.addrUsage & 0x0008) != 0;
        p.writable = p.ramWritable || p.romWritable;
        p.live = (d.addrUsage & 0x0100) != 0;
    }
    for (const SimDescribedParameter& d : SimReadDescribedVariables(ss.str())) {
        SimBytes value = d.data;
        if (!d.hasData)
            for (size_t i = 0; i < d.size; ++i) value.push_back(char(i < 8 ? (uint64_t(d.defValue) >> (8 * i)) & 0xFF : 0));
        SimParameter& p = drive.SetParameter(d.upid, d.size, value, true);
        p.ramWritable = (d.addrUsage & 0x0002) != 0;
        p.romWritable = (d.addrUsage & 0x0008) != 0;
        p.writable = p.ramWritable || p.romWritable;
        p.live = true; // variables are values of the running drive
        p.text = d.text;
    }
}

} // namespace vo
