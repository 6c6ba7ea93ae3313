#include "standin/game/game_wire.h"

#include <cstring>
#include <sstream>

#include "runtime/util/text_convert.h"

namespace gamesim {

namespace {

using T = FieldType;

FieldSpec Str(const char* name, uint32_t capacity) { return {name, T::kStr, capacity}; }
FieldSpec U8(const char* name) { return {name, T::kU8, 0}; }
FieldSpec U16(const char* name) { return {name, T::kU16, 0}; }
FieldSpec I32(const char* name) { return {name, T::kI32, 0}; }
FieldSpec U32(const char* name) { return {name, T::kU32, 0}; }
FieldSpec F32(const char* name) { return {name, T::kF32, 0}; }
FieldSpec Bytes(const char* name) { return {name, T::kBytes, 0}; }

class Reader {
 public:
  Reader(const uint8_t* p, uint32_t n) : p_(p), n_(n) {}
  bool Take(uint32_t count, const uint8_t** out) {
    if (n_ - at_ < count) return false;
    *out = p_ + at_;
    at_ += count;
    return true;
  }
  bool U(uint32_t width, uint64_t* value) {
    const uint8_t* b;
    if (!Take(width, &b)) return false;
    *value = 0;
    for (uint32_t i = 0; i < width; ++i) *value |= uint64_t{b[i]} << (8 * i);
    return true;
  }
  uint32_t left() const { return n_ - at_; }

 private:
  const uint8_t* p_;
  uint32_t n_;
  uint32_t at_ = 0;
};

void PutU(std::vector<uint8_t>* out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>* out, const std::u16string& text) {
  PutU(out, 2 * text.size(), 4);
  for (char16_t c : text) PutU(out, c, 2);
}

bool ReadText(Reader& r, uint32_t capacity, std::u16string* text, std::string* error,
              const char* field) {
  uint64_t raw;
  if (!r.U(4, &raw)) {
    *error = std::string("missing count of ") + field;
    return false;
  }
  int32_t count = static_cast<int32_t>(raw);
  if (count < 0 || count % 2 || static_cast<uint32_t>(count) > 2 * (capacity - 1)) {
    *error = std::string("bad count ") + std::to_string(count) + " of " + field;
    return false;
  }
  const uint8_t* b;
  if (!r.Take(static_cast<uint32_t>(count), &b)) {
    *error = std::string("missing text of ") + field;
    return false;
  }
  text->resize(static_cast<size_t>(count) / 2);
  for (size_t i = 0; i < text->size(); ++i)
    (*text)[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
  return true;
}

}  // namespace

const std::vector<MessageSpec>& HookToClientMessages() {
  static const std::vector<MessageSpec> sheet = {
      {0, "ATTACH", {Str("game_id", 128)}},
      {2, "DETACH", {}},
      {3, "SYSTEMCONFIG", {I32("kind"), I32("value")}},
      {6, "GAMECONFIG", {I32("kind"), U8("value")}},
      {8,
       "LOGIN",
       {Str("account", 128), Str("password", 128), Str("unused", 128), U8("remember"),
        U8("auto_login")}},
      {10, "REQUESTLOGIN", {}},
      {11, "QTLLOGIN", {Str("ticket", 1024), Str("unused", 128)}},
      {13, "SETNICKNAME", {}},
      {14, "LOGOUT", {}},
      {16, "POSTBLOG", {Str("text", 1024), Str("image_path", 260)}},
      {18, "NEWIMAGE", {U32("unused1"), U32("unused2"), I32("kind"), Str("image_path", 260)}},
      {22, "OPENURL", {I32("which")}},
      {24, "SHOTCOUNT", {}},
      {27, "FRIEND_ONLINE", {I32("page_size"), I32("page")}},
      {30, "VIDEO_INVITE", {U8("send_video"), Str("invitation_id", 128), Str("account", 128)}},
      {32, "VIDEO_REPLY", {I32("answer"), Str("invitation_id", 128)}},
      {34, "VIDEO_STOP", {Str("invitation_id", 128)}},
      {38,
       "VEDIO_STREAM",
       {Str("invitation_id", 128), U16("frame_rate"), U16("width"), U16("height"), Bytes("frame")}},
  };
  return sheet;
}

const std::vector<MessageSpec>& ClientToHookMessages() {
  static const std::vector<MessageSpec> sheet = {
      {1, "WELCOME", {}},
      {4,
       "SYSTEMCONFIG",
       {U8("one_shot_sound"), U8("many_shot_sound"), U8("show_help"), U8("first_run"), I32("x"),
        I32("y"), Str("user_folder", 256), Str("store_folder", 260)}},
      {5,
       "GAMECONFIG",
       {I32("many_duration"), F32("many_interval"), I32("quality"), U8("timed_shot"),
        I32("timed_interval"), Str("key_one_shot", 16), Str("key_many_shot", 16),
        Str("key_show_hide", 16), Str("key_region_one_shot", 16), Str("key_region_many_shot", 16),
        Str("key_quick_publish", 16)}},
      {7, "CONFIGOK", {}},
      {9, "LOGIN", {U8("kind"), U8("signed_in"), Str("text", 1024)}},
      {12, "USERINFO", {U8("has_nick")}},
      {15, "LOGOUT", {}},
      {17, "POSTBLOG", {U8("result"), Str("image_path", 260)}},
      {23, "SERVERTIME", {Str("text", 128)}},
      {25, "IMAGESYN", {I32("kind0"), I32("kind1"), I32("kind2")}},
      {26, "DATAPROMPT", {I32("counter0"), I32("counter1"), I32("counter2"), I32("counter3")}},
      {28, "FRIEND_ONLINE", {I32("total"), I32("page"), {"entries", T::kFriendList, 0}}},
      {29, "FRIEND_ONLINE_HEADICON", {Str("address", 128), Str("path", 260)}},
      {31,
       "VIDEO_INVITE",
       {U8("send_video"), Str("invitation_id", 128), Str("account", 128), Str("inviter", 128)}},
      {33, "VIDEO_REPLY", {U8("accepted"), Str("invitation_id", 128)}},
      {35, "VIDEO_STOP", {Str("invitation_id", 128)}},
      {37, "VIDEO_READY", {Str("invitation_id", 128)}},
      {39,
       "VEDIO_STREAM",
       {U8("reinit"), U16("frame_rate"), U16("width"), U16("height"), Bytes("frame"),
        Str("invitation_id", 128)}},
      {41, "VIDEO_IM", {Str("first", 128), Str("second", 128), Str("text", 1024)}},
      {42, "VIDEO_INVITE_REPLYED", {Str("invitation_id", 128)}},
      {43, "VEDIO_ERROR", {I32("code"), Str("invitation_id", 128)}},
  };
  return sheet;
}

const MessageSpec* FindMessage(const std::vector<MessageSpec>& sheet, const std::string& name) {
  for (const MessageSpec& spec : sheet)
    if (name == spec.name) return &spec;
  return nullptr;
}

const MessageSpec* FindMessage(const std::vector<MessageSpec>& sheet, uint16_t id) {
  for (const MessageSpec& spec : sheet)
    if (id == spec.id) return &spec;
  return nullptr;
}

const WireValue* WireMessage::Find(const std::string& field) const {
  for (const auto& [name, value] : fields)
    if (name == field) return &value;
  return nullptr;
}

int64_t WireMessage::Int(const std::string& field) const {
  const WireValue* v = Find(field);
  if (v && std::holds_alternative<int64_t>(*v)) return std::get<int64_t>(*v);
  if (v && std::holds_alternative<double>(*v)) return static_cast<int64_t>(std::get<double>(*v));
  return 0;
}

double WireMessage::Float(const std::string& field) const {
  const WireValue* v = Find(field);
  if (v && std::holds_alternative<double>(*v)) return std::get<double>(*v);
  if (v && std::holds_alternative<int64_t>(*v)) return static_cast<double>(std::get<int64_t>(*v));
  return 0;
}

std::u16string WireMessage::Text(const std::string& field) const {
  const WireValue* v = Find(field);
  return v && std::holds_alternative<std::u16string>(*v) ? std::get<std::u16string>(*v)
                                                         : std::u16string();
}

std::string WireMessage::Utf8(const std::string& field) const { return Utf16ToUtf8(Text(field)); }

const std::vector<uint8_t>* WireMessage::Bytes(const std::string& field) const {
  const WireValue* v = Find(field);
  return v && std::holds_alternative<std::vector<uint8_t>>(*v) ? &std::get<std::vector<uint8_t>>(*v)
                                                               : nullptr;
}

std::string WireMessage::ToString() const {
  std::ostringstream out;
  out << name;
  for (const auto& [field, value] : fields) {
    out << ' ' << field << '=';
    if (auto* i = std::get_if<int64_t>(&value))
      out << *i;
    else if (auto* d = std::get_if<double>(&value))
      out << *d;
    else if (auto* s = std::get_if<std::u16string>(&value))
      out << '"' << Utf16ToUtf8(*s) << '"';
    else
      out << std::get<std::vector<uint8_t>>(value).size() << "B";
  }
  for (size_t i = 0; i < friends.size(); ++i)
    out << " friend" << i << "=\"" << Utf16ToUtf8(friends[i].account) << '|'
        << Utf16ToUtf8(friends[i].name) << '|' << Utf16ToUtf8(friends[i].head_icon) << '"';
  return out.str();
}

std::vector<uint8_t> EncodeMessage(const MessageSpec& spec, const WireMessage& values) {
  std::vector<uint8_t> out;
  PutU(&out, spec.id, 2);
  PutU(&out, 0, 2);
  for (const FieldSpec& f : spec.fields) {
    switch (f.type) {
      case T::kU8:
        PutU(&out, static_cast<uint64_t>(values.Int(f.name)), 1);
        break;
      case T::kU16:
        PutU(&out, static_cast<uint64_t>(values.Int(f.name)), 2);
        break;
      case T::kI32:
      case T::kU32:
        PutU(&out, static_cast<uint64_t>(values.Int(f.name)), 4);
        break;
      case T::kF32: {
        float v = static_cast<float>(values.Float(f.name));
        uint32_t bits;
        memcpy(&bits, &v, 4);
        PutU(&out, bits, 4);
        break;
      }
      case T::kStr:
        PutText(&out, values.Text(f.name));
        break;
      case T::kBytes: {
        const std::vector<uint8_t>* b = values.Bytes(f.name);
        PutU(&out, b ? b->size() : 0, 4);
        if (b) out.insert(out.end(), b->begin(), b->end());
        break;
      }
      case T::kFriendList:
        break;  // client-to-hook only
    }
  }
  return out;
}

std::optional<WireMessage> DecodeMessage(const std::vector<MessageSpec>& sheet, const uint8_t* body,
                                         uint32_t length, std::string* error) {
  Reader r(body, length);
  uint64_t id, flag;
  if (!r.U(2, &id) || !r.U(2, &flag)) {
    *error = "message shorter than its header";
    return std::nullopt;
  }
  const MessageSpec* spec = FindMessage(sheet, static_cast<uint16_t>(id));
  if (!spec) {
    *error = "unknown message id " + std::to_string(id);
    return std::nullopt;
  }
  WireMessage m;
  m.id = spec->id;
  m.name = spec->name;
  auto fail = [&](const std::string& why) {
    *error = std::string(spec->name) + ": " + why;
    return std::nullopt;
  };
  if (flag != 0) return fail("flag " + std::to_string(flag) + " is not 0");
  for (const FieldSpec& f : spec->fields) {
    uint64_t v;
    switch (f.type) {
      case T::kU8:
      case T::kU16:
      case T::kI32:
      case T::kU32: {
        int width = f.type == T::kU8 ? 1 : f.type == T::kU16 ? 2 : 4;
        if (!r.U(width, &v)) return fail(std::string("missing ") + f.name);
        int64_t value = f.type == T::kI32 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
        m.fields.emplace_back(f.name, value);
        break;
      }
      case T::kF32: {
        if (!r.U(4, &v)) return fail(std::string("missing ") + f.name);
        uint32_t bits = static_cast<uint32_t>(v);
        float value;
        memcpy(&value, &bits, 4);
        m.fields.emplace_back(f.name, static_cast<double>(value));
        break;
      }
      case T::kStr: {
        std::u16string text;
        std::string why;
        if (!ReadText(r, f.capacity, &text, &why, f.name)) return fail(why);
        m.fields.emplace_back(f.name, std::move(text));
        break;
      }
      case T::kBytes: {
        if (!r.U(4, &v)) return fail(std::string("missing count of ") + f.name);
        int32_t count = static_cast<int32_t>(v);
        const uint8_t* b;
        if (count < 0 || !r.Take(static_cast<uint32_t>(count), &b))
          return fail(std::string("bad count of ") + f.name);
        m.fields.emplace_back(f.name, std::vector<uint8_t>(b, b + count));
        break;
      }
      case T::kFriendList: {
        if (!r.U(4, &v)) return fail("missing entry count");
        int32_t count = static_cast<int32_t>(v);
        if (count < 0) return fail("negative entry count");
        m.fields.emplace_back("count", int64_t{count});
        for (int32_t i = 0; i < count; ++i) {
          FriendEntry e;
          std::string why;
          if (!ReadText(r, 128, &e.account, &why, "account") ||
              !ReadText(r, 128, &e.name, &why, "name") ||
              !ReadText(r, 4096, &e.head_icon, &why, "head_icon"))
            return fail(why);
          m.friends.push_back(std::move(e));
        }
        break;
      }
    }
  }
  if (r.left() != 0) return fail(std::to_string(r.left()) + " bytes left over");
  if (const std::vector<uint8_t>* frame = m.Bytes("frame")) {
    // 24-bit pixels: a frame is exactly width x height x 3 bytes.
    uint64_t width = static_cast<uint64_t>(m.Int("width")),
             height = static_cast<uint64_t>(m.Int("height"));
    if (frame->size() != width * height * 3)
      return fail("frame of " + std::to_string(frame->size()) + " bytes is not " +
                  std::to_string(width) + " x " + std::to_string(height) + " x 3");
  }
  return m;
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out;
  out.reserve(body.size() + 4);
  PutU(&out, body.size() + 4, 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::u16string Utf8ToUtf16(const std::string& text) {
  return brx::util::WideToUtf16(brx::util::Utf8ToWide(text));
}
std::string Utf16ToUtf8(const std::u16string& text) {
  return brx::util::WideToUtf8(brx::util::Utf16ToWide(text));
}

}  // namespace gamesim
