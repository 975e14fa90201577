#include "schema.h"

#include "architecture.h"
#include "text.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace winsim {
namespace {

constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
constexpr int64_t kMinInt32 = std::numeric_limits<int32_t>::min();
constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxUint32 = std::numeric_limits<uint32_t>::max();

std::string Found(const Json& value) {
    switch (value.type()) {
    case Json::Null: return "null";
    case Json::Boolean: return value.as_bool() ? "true" : "false";
    case Json::String: return "a string";
    case Json::Object: return "an object";
    case Json::Array: return "an array";
    default: return value.serialize();
    }
}

// The JSON path of a member: ".name" where the key reads as a name, else the key quoted as the file writes it.
std::string Member(const std::string& path, const std::string& key) {
    bool plain = !key.empty() && !std::isdigit(static_cast<unsigned char>(key[0]));
    for (char c : key) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!plain) return path + "[" + Json::string(MendUtf8(key)).serialize() + "]";
    return path.empty() ? key : path + "." + key;
}

// Where a value stands in the file. Spelled out only for a problem, so checking a large machine builds
// no text.
struct Where {
    const Where* parent = nullptr;  // none: the top level
    const char* name = nullptr;     // a member of a known name,
    const std::string* key = nullptr;  // or a member named in the file,
    size_t index = 0;               // or else an element
    std::string Text() const {
        if (!parent) return std::string();
        std::string base = parent->Text();
        if (name) return Member(base, name);
        if (key) return Member(base, *key);
        return base + "[" + std::to_string(index) + "]";
    }
};

class Shape {
public:
    virtual ~Shape() = default;
    // What a value of this shape is, as the message says it: "an array".
    virtual std::string Expected() const = 0;
    // Empty when the value has the shape; else the problem, path first.
    virtual std::string Problem(const Json& value, const Where& at) const {
        return Fits(value) ? std::string() : Wrong(value, at);
    }

protected:
    virtual bool Fits(const Json&) const { return true; }
    std::string Wrong(const Json& value, const Where& at) const {
        return at.Text() + ": expected " + Expected() + " (found " + Found(value) + ")";
    }
};
using ShapeRef = std::shared_ptr<const Shape>;

class TextShape : public Shape {
public:
    std::string Expected() const override { return "a string"; }

protected:
    bool Fits(const Json& value) const override { return value.is_string(); }
};

class FlagShape : public Shape {
public:
    std::string Expected() const override { return "true or false"; }

protected:
    bool Fits(const Json& value) const override { return value.is_boolean(); }
};

// A whole number in [min, max]; 5.0 counts as 5, as IntAt reads it.
class WholeShape : public Shape {
public:
    WholeShape(int64_t min, int64_t max, bool endless = false) : min_(min), max_(max), endless_(endless) {}
    std::string Expected() const override {
        if (endless_) return "a whole number of at least " + std::to_string(min_);
        if (min_ == kMin64 && max_ == kMax64) return "a whole number";
        if (max_ == kMax64) return "a whole number of at least " + std::to_string(min_);
        return "a whole number from " + std::to_string(min_) + " to " + std::to_string(max_);
    }

protected:
    bool Fits(const Json& value) const override {
        if (!value.is_number()) return false;
        const web::json::number& n = value.as_number();
        if (n.is_integral()) {
            if (endless_ && !n.is_int64()) return n.is_uint64();  // read as the end of the range
            return n.is_int64() && n.to_int64() >= min_ && n.to_int64() <= max_;
        }
        double d = n.to_double();
        if (endless_ && std::isfinite(d) && std::trunc(d) == d && d >= 9223372036854775808.0) return true;
        // 2^63 is the first double past the int64 range.
        return std::isfinite(d) && std::trunc(d) == d && d >= static_cast<double>(min_) && d < 9223372036854775808.0 &&
               static_cast<int64_t>(d) >= min_ && static_cast<int64_t>(d) <= max_;
    }

private:
    int64_t min_;
    int64_t max_;
    bool endless_;  // beyond the 64-bit range the reader takes the range's end
};

// A processor architecture the machine can have: one with a spooler environment of its own. 9.0 counts
// as 9, as IntAt reads it.
class ArchitectureShape : public Shape {
public:
    std::string Expected() const override {
        std::string text = "an architecture with a spooler environment:";
        const size_t count = sizeof kArchitectures / sizeof kArchitectures[0];
        for (size_t i = 0; i < count; ++i) {
            text += (i == 0 ? " " : i + 1 == count ? " or " : ", ") + std::to_string(kArchitectures[i].id);
        }
        return text;
    }

protected:
    bool Fits(const Json& value) const override {
        if (!value.is_number()) return false;
        const web::json::number& n = value.as_number();
        if (n.is_integral()) return n.is_int64() && EnvironmentOf(n.to_int64());
        double d = n.to_double();
        return std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 65536.0 && EnvironmentOf(static_cast<int64_t>(d));
    }
};

class AnythingShape : public Shape {
public:
    std::string Expected() const override { return "anything"; }
};

class EitherShape : public Shape {
public:
    EitherShape(ShapeRef first, ShapeRef second) : first_(std::move(first)), second_(std::move(second)) {}
    std::string Expected() const override { return first_->Expected() + " or " + second_->Expected(); }

protected:
    bool Fits(const Json& value) const override {
        return first_->Problem(value, Where{}).empty() || second_->Problem(value, Where{}).empty();
    }

private:
    ShapeRef first_;
    ShapeRef second_;
};

class ListShape : public Shape {
public:
    explicit ListShape(ShapeRef element) : element_(std::move(element)) {}
    std::string Expected() const override { return "an array"; }
    std::string Problem(const Json& value, const Where& at) const override {
        if (!value.is_array()) return Wrong(value, at);
        for (size_t i = 0; i < value.size(); ++i) {
            std::string problem = element_->Problem(value.at(i), Where{&at, nullptr, nullptr, i});
            if (!problem.empty()) return problem;
        }
        return std::string();
    }

private:
    ShapeRef element_;
};

// An object whose keys are names of the machine's own choosing (registry keys, environments), each
// value of one shape.
class MapShape : public Shape {
public:
    explicit MapShape(ShapeRef member) : member_(std::move(member)) {}
    std::string Expected() const override { return "an object"; }
    std::string Problem(const Json& value, const Where& at) const override {
        if (!value.is_object()) return Wrong(value, at);
        for (const auto& field : value.as_object()) {
            std::string problem = member_->Problem(field.second, Where{&at, nullptr, &field.first});
            if (!problem.empty()) return problem;
        }
        return std::string();
    }

private:
    ShapeRef member_;
};

struct Field {
    const char* key;
    ShapeRef shape;
    bool required = false;
};

// An object with known fields; other keys (a note someone added) are left alone.
class RecordShape : public Shape {
public:
    explicit RecordShape(std::vector<Field> fields) : fields_(std::move(fields)) {
        for (const Field& f : fields_) keys_.emplace_back(f.key);
    }
    std::string Expected() const override { return "an object"; }
    std::string Problem(const Json& value, const Where& at) const override {
        if (!value.is_object()) return Wrong(value, at);
        const web::json::object& members = value.as_object();
        for (size_t i = 0; i < fields_.size(); ++i) {
            const Field& f = fields_[i];
            Where member{&at, f.key};
            auto found = members.find(keys_[i]);
            if (found == members.end()) {
                if (f.required) return member.Text() + ": expected " + f.shape->Expected() + " (missing)";
                continue;
            }
            std::string problem = f.shape->Problem(found->second, member);
            if (!problem.empty()) return problem;
        }
        return std::string();
    }

private:
    std::vector<Field> fields_;
    std::vector<std::string> keys_;  // made once: a large machine is checked field by field
};

ShapeRef Text() { return std::make_shared<TextShape>(); }
ShapeRef Flag() { return std::make_shared<FlagShape>(); }
ShapeRef Whole(int64_t min = kMin64, int64_t max = kMax64) { return std::make_shared<WholeShape>(min, max); }
// A time that may stand past the end of the 64-bit range: it is read as that end.
ShapeRef Endless(int64_t min) { return std::make_shared<WholeShape>(min, kMax64, true); }
ShapeRef Dword() { return Whole(0, kMaxUint32); }
// Error and exit codes: 32 bits, written as a DWORD or as a signed HRESULT.
ShapeRef Code32() { return Whole(kMinInt32, kMaxUint32); }
ShapeRef Anything() { return std::make_shared<AnythingShape>(); }
ShapeRef Either(ShapeRef a, ShapeRef b) { return std::make_shared<EitherShape>(std::move(a), std::move(b)); }
ShapeRef ListOf(ShapeRef element) { return std::make_shared<ListShape>(std::move(element)); }
ShapeRef MapOf(ShapeRef member) { return std::make_shared<MapShape>(std::move(member)); }
ShapeRef Record(std::vector<Field> fields) { return std::make_shared<RecordShape>(std::move(fields)); }
Field Required(const char* key, ShapeRef shape) { return Field{key, std::move(shape), true}; }

// A registry value: its "data" is read according to its "type" (REG_SZ when it has none), unless
// "bytes" gives the bytes themselves.
class RegistryValueShape : public Shape {
public:
    std::string Expected() const override { return "an object"; }
    std::string Problem(const Json& value, const Where& at) const override {
        std::string problem = common_->Problem(value, at);
        // With "bytes" the data is not read.
        if (!problem.empty() || !value.has_field("data") || value.has_field("bytes")) return problem;
        int64_t type = IntAt(value, "type", 1);
        const ShapeRef& data = type == 4 ? dword_ : type == 7 ? strings_ : text_;  // REG_DWORD, REG_MULTI_SZ, else text or hex
        return data->Problem(value.at("data"), Where{&at, "data"});
    }

private:
    ShapeRef common_ = Record({{"type", Dword()}, {"bytes", Text()}, {"noTerminator", Flag()}});
    ShapeRef dword_ = Code32();
    ShapeRef strings_ = ListOf(Text());
    ShapeRef text_ = Text();
};

// What JSON itself and the parser cannot tell: every number within a double's range (the parser reads
// 1e400 as inf, which would be written back as no JSON at all) and every key and string well-formed
// UTF-8 (the parser turns a lone \udc00 into bytes no reader takes). Looks at every value, known or not.
std::string ContentProblem(const Json& value, const Where& at) {
    switch (value.type()) {
    case Json::Number:
        if (!value.as_number().is_integral() && !std::isfinite(value.as_number().to_double())) {
            return at.Text() + ": expected a number within a double's range (found " + value.serialize() + ")";
        }
        return std::string();
    case Json::String:
        if (!IsUtf8(value.as_string())) return at.Text() + ": expected Unicode text (found a lone surrogate or bytes that are not UTF-8)";
        return std::string();
    case Json::Array:
        for (size_t i = 0; i < value.size(); ++i) {
            std::string problem = ContentProblem(value.at(i), Where{&at, nullptr, nullptr, i});
            if (!problem.empty()) return problem;
        }
        return std::string();
    case Json::Object:
        for (const auto& field : value.as_object()) {
            Where member{&at, nullptr, &field.first};
            if (!IsUtf8(field.first)) {
                return member.Text() + ": expected a key of Unicode text (found a lone surrogate or bytes that are not UTF-8)";
            }
            std::string problem = ContentProblem(field.second, member);
            if (!problem.empty()) return problem;
        }
        return std::string();
    default: return std::string();
    }
}

std::vector<Field> MachineFields() {
    ShapeRef nonNegative = Whole(0);
    ShapeRef serviceState = Whole(1, 7);  // SERVICE_STOPPED to SERVICE_PAUSED
    ShapeRef formLength = Whole(1, kMaxInt32);
    ShapeRef formEdge = Whole(0, kMaxInt32);
    ShapeRef transition = Record({{"takesMs", Whole(-1)},
                                  {"waitHint", Dword()},
                                  {"checkPointEveryMs", nonNegative},
                                  {"checkPointStallsAfterMs", Whole(-1)}});
    ShapeRef device = Record({{"enumerator", Text()},
                              {"instanceId", Text()},
                              {"hardwareIds", ListOf(Text())},
                              {"compatibleIds", ListOf(Text())},
                              {"present", Flag()},
                              {"classGuid", Text()},
                              {"restarts", nonNegative},
                              {"interfaces", ListOf(Record({{"class", Text()}, {"devicePath", Text()}, {"ieee1284Id", Text()}}))}});
    ShapeRef printer = Record({Required("name", Text()),
                               {"driver", Text()},
                               {"port", Text()},
                               {"printProcessor", Text()},
                               {"datatype", Text()},
                               {"attributes", Dword()},
                               {"writeLimit", Whole()},
                               {"data", MapOf(Record({{"type", Dword()}, {"data", Text()}}))}});
    ShapeRef form = Record({Required("name", Text()),
                            Required("width", formLength),
                            Required("height", formLength),
                            {"left", formEdge},
                            {"top", formEdge},
                            {"right", formEdge},
                            {"bottom", formEdge},
                            {"builtin", Flag()}});
    ShapeRef job = Record({Required("id", Whole(1, kMaxUint32)),
                           {"printer", Text()},
                           {"name", Text()},
                           {"datatype", Text()},
                           {"outputFile", Text()},
                           {"data", Text()},
                           {"pages", nonNegative},
                           {"complete", Flag()}});
    ShapeRef spooler = Record({
        {"running", Flag()},
        {"ports", ListOf(Record({Required("name", Text()), {"monitor", Text()}, {"description", Text()}, {"listedFromMs", Whole()}}))},
        {"printers", ListOf(printer)},
        {"drivers", MapOf(ListOf(Record({Required("name", Text()), {"version", Dword()}, {"infPath", Text()}})))},
        {"driverStore", ListOf(Record({{"sourceInf", Text()}, Required("storedInf", Text()), {"environment", Text()}}))},
        {"forms", ListOf(form)},
        {"jobs", ListOf(job)},
        {"nextJobId", Dword()},
    });
    ShapeRef service = Record({Required("name", Text()),
                               {"displayName", Text()},
                               {"state", serviceState},
                               {"dependsOn", ListOf(Text())},
                               {"type", Dword()},
                               {"processId", Dword()},
                               {"acceptsStop", Flag()},
                               {"disabled", Flag()},
                               {"deniedAccess", Dword()},
                               {"stop", transition},
                               {"start", transition},
                               {"pending", Record({{"to", serviceState},
                                                   {"sinceMs", nonNegative},
                                                   {"untilMs", Whole(-1)},
                                                   {"waitHint", Dword()},
                                                   {"checkPointEveryMs", nonNegative},
                                                   {"checkPointStallsAfterMs", Whole(-1)}})},
                               {"history", ListOf(Record({{"event", Text()}, {"atMs", Whole()}, {"error", Dword()}}))}});
    return {
        {"system", Record({{"architecture", std::make_shared<ArchitectureShape>()}, {"uiLanguage", Whole(0, 0xFFFF)}, {"wow64", Flag()}, {"tempPath", Text()}})},
        {"clock", Record({{"virtual", Flag()}, {"nowMs", Endless(0)}})},
        {"registry", MapOf(MapOf(MapOf(std::make_shared<RegistryValueShape>())))},
        {"devices", ListOf(device)},
        {"spooler", spooler},
        {"services", ListOf(service)},
        {"serviceControl", Record({{"deniedAccess", Dword()}})},
        {"certificates", ListOf(Record({Required("store", Text()), Required("serial", Text())}))},
        {"driverSigning", Record({{"requireTrustedPublisher", Flag()}, {"publisherSerial", Text()}})},
        {"winhttp", Record({{"proxy", Text()}})},
        {"shell", Record({{"commands", ListOf(Anything())}})},
        {"ui", Record({{"answers", ListOf(Either(Whole(kMinInt32, kMaxInt32), Text()))}, {"messageBoxes", ListOf(Anything())}})},
        {"processes", ListOf(Record({Required("pid", Whole(1, kMaxInt32)), {"parent", Whole(1, kMaxInt32)}, {"image", Text()}, {"exitCode", Code32()}}))},
        {"faults", ListOf(Record({Required("function", Text()), {"error", Code32()}, {"after", nonNegative}, {"count", Whole(-1)}}))},
        {"test", MapOf(Whole())},  // winsim-ctl's counters
    };
}

}  // namespace

std::string MachineProblem(const Json& machine) {
    // Never destroyed: exit handlers still record the process's exit code in the machine.
    static const Shape* const shape = new RecordShape(MachineFields());
    std::string problem = ContentProblem(machine, Where{});
    return problem.empty() ? shape->Problem(machine, Where{}) : problem;
}

}  // namespace winsim
