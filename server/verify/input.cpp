#include "server/verify/input.h"

#include <array>
#include <nlohmann/json.hpp>

namespace korvel::verify {
namespace {

using Json = nlohmann::json;

constexpr std::array<const char*, 4> kFieldNames = {"issuerDN", "certData", "data", "serverDate"};

// Reads the top-level object's members as they stream past, keeping the
// four strings; any value of a wrong type stops the parse.
class RenewalReader : public nlohmann::json_sax<Json> {
 public:
  bool complete() const {
    for (bool seen : seen_) {
      if (!seen) return false;
    }
    return true;
  }
  Renewal& renewal() { return renewal_; }

  bool null() override { return otherValue(); }
  bool boolean(bool) override { return otherValue(); }
  bool number_integer(number_integer_t) override { return otherValue(); }
  bool number_unsigned(number_unsigned_t) override { return otherValue(); }
  bool number_float(number_float_t, const string_t&) override { return otherValue(); }
  bool binary(binary_t&) override { return otherValue(); }
  bool string(string_t& value) override {
    if (depth_ == 0) return false;
    if (depth_ == 1 && field_ >= 0) *target(field_) = std::move(value);
    return true;
  }
  bool start_object(std::size_t) override {
    if (!otherValue()) return false;
    ++depth_;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    if (depth_ == 0 || !otherValue()) return false;
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool key(string_t& name) override {
    field_ = -1;
    if (depth_ != 1) return true;
    for (size_t i = 0; i < kFieldNames.size(); ++i) {
      if (name != kFieldNames[i]) continue;
      if (seen_[i]) return false;  // given twice: which one counts would be a guess
      seen_[i] = true;
      field_ = static_cast<int>(i);
    }
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  // A value that is not a string: fine inside other members, wrong as one
  // of the four fields. At the top only an object is right.
  bool otherValue() {
    if (depth_ == 0) return !started_ && (started_ = true);
    return !(depth_ == 1 && field_ >= 0);
  }
  std::string* target(int field) {
    switch (field) {
      case 0: return &renewal_.issuerDN;
      case 1: return &renewal_.certData;
      case 2: return &renewal_.data;
      default: return &renewal_.serverDate;
    }
  }

  Renewal renewal_;
  std::array<bool, 4> seen_{};
  int depth_ = 0;
  int field_ = -1;
  bool started_ = false;
};

}  // namespace

std::optional<Renewal> readRenewalJson(std::string_view json) {
  RenewalReader reader;
  try {
    if (!Json::sax_parse(json, &reader, nlohmann::detail::input_format_t::json, true) || !reader.complete()) {
      return std::nullopt;
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return std::move(reader.renewal());
}

}  // namespace korvel::verify
