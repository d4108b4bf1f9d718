#pragma once
// A small JSON reader for checking the tool's output: objects, arrays, strings (with \uXXXX
// for control characters), integers, true, false, null. Throws std::runtime_error on bad input.
#include <cctype>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace setup::test {

struct Json {
  enum Type { Null, Bool, Number, String, Array, Object } Kind = Null;
  bool B = false;
  long long N = 0;
  std::string S;
  std::vector<Json> Items;
  std::map<std::string, Json> Members;
  std::vector<std::string> Order;  // member names in the order written

  const Json& operator[](const std::string& Name) const {
    const auto It = Members.find(Name);
    if (It == Members.end()) throw std::runtime_error("no member " + Name);
    return It->second;
  }
  const Json& operator[](std::size_t I) const { return Items.at(I); }
  bool Has(const std::string& Name) const { return Members.count(Name) != 0; }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& Text) : FText(Text) {}
  Json Parse() {
    Json V = Value();
    Skip();
    if (FPos != FText.size()) Fail("trailing text");
    return V;
  }

 private:
  [[noreturn]] void Fail(const char* What) { throw std::runtime_error(std::string(What) + " at " + std::to_string(FPos)); }
  void Skip() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos]))) ++FPos;
  }
  bool Eat(char C) {
    Skip();
    if (FPos < FText.size() && FText[FPos] == C) return ++FPos, true;
    return false;
  }
  void Expect(char C) {
    if (!Eat(C)) Fail("unexpected character");
  }
  bool Word(const char* W) {
    const std::string S(W);
    if (FText.compare(FPos, S.size(), S) == 0) return FPos += S.size(), true;
    return false;
  }
  std::string Str() {
    Expect('"');
    std::string Out;
    while (FPos < FText.size() && FText[FPos] != '"') {
      char C = FText[FPos++];
      if (C != '\\') {
        if (static_cast<unsigned char>(C) < 0x20) Fail("raw control character");
        Out.push_back(C);
        continue;
      }
      if (FPos >= FText.size()) Fail("cut escape");
      C = FText[FPos++];
      switch (C) {
        case '"': case '\\': case '/': Out.push_back(C); break;
        case 'n': Out.push_back('\n'); break;
        case 'r': Out.push_back('\r'); break;
        case 't': Out.push_back('\t'); break;
        case 'b': Out.push_back('\b'); break;
        case 'f': Out.push_back('\f'); break;
        case 'u': {
          const unsigned Code = std::stoul(FText.substr(FPos, 4), nullptr, 16);
          FPos += 4;
          if (Code >= 0x80) Fail("only control characters are escaped");
          Out.push_back(static_cast<char>(Code));
          break;
        }
        default: Fail("bad escape");
      }
    }
    Expect('"');
    return Out;
  }
  Json Value() {
    Skip();
    Json V;
    if (FPos >= FText.size()) Fail("missing value");
    const char C = FText[FPos];
    if (C == '{') {
      ++FPos;
      V.Kind = Json::Object;
      if (Eat('}')) return V;
      do {
        Skip();
        std::string Name = Str();
        Expect(':');
        if (V.Members.count(Name)) Fail("repeated member");
        V.Order.push_back(Name);
        V.Members[Name] = Value();
      } while (Eat(','));
      Expect('}');
    } else if (C == '[') {
      ++FPos;
      V.Kind = Json::Array;
      if (Eat(']')) return V;
      do V.Items.push_back(Value());
      while (Eat(','));
      Expect(']');
    } else if (C == '"') {
      V.Kind = Json::String;
      V.S = Str();
    } else if (Word("true")) {
      V.Kind = Json::Bool;
      V.B = true;
    } else if (Word("false")) {
      V.Kind = Json::Bool;
    } else if (Word("null")) {
    } else {
      std::size_t Used = 0;
      V.Kind = Json::Number;
      V.N = std::stoll(FText.substr(FPos), &Used);
      FPos += Used;
    }
    return V;
  }
  const std::string& FText;
  std::size_t FPos = 0;
};

}  // namespace setup::test
