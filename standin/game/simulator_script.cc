#include "standin/game/simulator_script.h"

#include <sstream>
#include <vector>

#include "standin/game/game_simulator.h"

namespace gamesim {

namespace {

// Splits a line into words; "double quotes" keep spaces.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

// field=value pairs typed by the message's sheet entry.
bool ParseFields(const MessageSpec& spec, const std::vector<std::string>& words, size_t first,
                 WireMessage* m, std::string* error) {
  for (size_t i = first; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    if (eq == std::string::npos) {
      *error = "expected field=value: " + words[i];
      return false;
    }
    std::string name = words[i].substr(0, eq), value = words[i].substr(eq + 1);
    const FieldSpec* field = nullptr;
    for (const FieldSpec& f : spec.fields)
      if (name == f.name) field = &f;
    if (!field) {
      *error = std::string(spec.name) + " has no field " + name;
      return false;
    }
    try {
      switch (field->type) {
        case FieldType::kStr:
          m->fields.emplace_back(name, Utf8ToUtf16(value));
          break;
        case FieldType::kF32:
          m->fields.emplace_back(name, std::stod(value));
          break;
        case FieldType::kBytes:
          m->fields.emplace_back(
              name, std::vector<uint8_t>(value.rfind('@', 0) == 0 ? std::stoul(value.substr(1)) : 0,
                                         0x80));
          break;
        default:
          m->fields.emplace_back(name, static_cast<int64_t>(std::stoll(value, nullptr, 0)));
          break;
      }
    } catch (const std::exception&) {
      *error = "bad value for " + name + ": " + value;
      return false;
    }
  }
  return true;
}

// The attach handshake: with a user signed in, LOGIN and USERINFO come
// after WELCOME. A known server time follows as SERVERTIME, which the
// script expects on its own, because nothing tells when it is not coming.
const std::vector<std::string> kHandshake = {"WELCOME", "SYSTEMCONFIG", "GAMECONFIG", "CONFIGOK",
                                             "DATAPROMPT"};
const std::vector<std::string> kSignedInHandshake = {
    "WELCOME", "LOGIN", "USERINFO", "SYSTEMCONFIG", "GAMECONFIG", "CONFIGOK", "DATAPROMPT"};

// " A B C".
std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += " " + name;
  return out;
}

bool Matches(const WireMessage& got, const WireMessage& want, std::string* error) {
  for (const auto& [name, value] : want.fields) {
    const WireValue* have = got.Find(name);
    bool same = have && (std::holds_alternative<std::vector<uint8_t>>(value)
                             ? got.Bytes(name) && got.Bytes(name)->size() ==
                                                      std::get<std::vector<uint8_t>>(value).size()
                         : std::holds_alternative<double>(value)
                             ? static_cast<float>(got.Float(name)) ==
                                   static_cast<float>(std::get<double>(value))
                             : *have == value);
    if (!same) {
      *error = "field " + name + " differs in " + got.ToString();
      return false;
    }
  }
  return true;
}

// The verbs a game's panel offers, each one hook-to-client message with
// its fields given in order (trailing ones may be left out).
struct Verb {
  const char* verb;
  const char* message;
  std::vector<const char*> fields;
};
const std::vector<Verb> kVerbs = {
    {"login", "LOGIN", {"account", "password", "remember", "auto_login"}},
    {"ticket-login", "QTLLOGIN", {"ticket"}},
    {"request-login", "REQUESTLOGIN", {}},
    {"logout", "LOGOUT", {}},
    {"nickname", "SETNICKNAME", {}},
    {"post", "POSTBLOG", {"text", "image_path"}},
    {"new-image", "NEWIMAGE", {"kind", "image_path"}},
    {"open-url", "OPENURL", {"which"}},
    {"setting", "SYSTEMCONFIG", {"kind", "value"}},
    {"game-setting", "GAMECONFIG", {"kind", "value"}},
};

const Verb* FindVerb(const std::string& word) {
  for (const Verb& verb : kVerbs)
    if (word == verb.verb) return &verb;
  return nullptr;
}

}  // namespace

bool RunScript(GameSimulator& sim, std::istream& script, std::ostream& out,
               std::chrono::milliseconds timeout, std::string* error) {
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  auto receive = [&]() -> std::optional<WireMessage> {
    std::optional<WireMessage> m = sim.Receive(timeout);
    if (m) out << m->ToString() << "\n";
    return m;
  };
  while (std::getline(script, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos && line.find('"') > hash)
      line.resize(hash);
    std::vector<std::string> w = Words(line);
    if (w.empty()) continue;
    const std::string& cmd = w[0];
    if (cmd == "connect") {
      int index = w.size() > 1 ? std::atoi(w[1].c_str()) : 0;
      if (index ? !sim.ConnectTo(index) : !sim.Connect()) return fail("no pipe name is free");
      out << "connected to name " << sim.name_index() << "\n";
    } else if (cmd == "attach") {
      if (w.size() < 2) return fail("attach needs a game id");
      if (!sim.IsConnected() && !sim.Connect()) return fail("no pipe name is free");
      if (!sim.Attach(w[1])) return fail("ATTACH not sent");
    } else if (cmd == "send" || cmd == "expect") {
      if (w.size() < 2) return fail(cmd + " needs a message name");
      bool sending = cmd == "send";
      const MessageSpec* spec =
          FindMessage(sending ? HookToClientMessages() : ClientToHookMessages(), w[1]);
      if (!spec) return fail("unknown message " + w[1]);
      WireMessage fields;
      std::string why;
      if (!ParseFields(*spec, w, 2, &fields, &why)) return fail(why);
      if (sending) {
        if (!sim.Send(w[1], fields)) return fail(w[1] + " not sent");
        continue;
      }
      std::optional<WireMessage> m = receive();
      if (!m) return fail("expected " + w[1] + ", got nothing");
      if (m->name != w[1]) return fail("expected " + w[1] + ", got " + m->name);
      if (!Matches(*m, fields, &why)) return fail(why);
    } else if (const Verb* verb = FindVerb(cmd)) {
      if (w.size() - 1 > verb->fields.size())
        return fail(cmd + " takes at most " + std::to_string(verb->fields.size()) + " values");
      std::vector<std::string> pairs = {"send", verb->message};
      for (size_t i = 1; i < w.size(); ++i)
        pairs.push_back(std::string(verb->fields[i - 1]) + "=" + w[i]);
      WireMessage fields;
      std::string why;
      if (!ParseFields(*FindMessage(HookToClientMessages(), verb->message), pairs, 2, &fields,
                       &why))
        return fail(why);
      if (!sim.Send(verb->message, fields)) return fail(std::string(verb->message) + " not sent");
    } else if (cmd == "await") {
      // Like expect, but other messages may come first (they are printed).
      if (w.size() < 2) return fail("await needs a message name");
      const MessageSpec* spec = FindMessage(ClientToHookMessages(), w[1]);
      if (!spec) return fail("unknown message " + w[1]);
      WireMessage fields;
      std::string why;
      if (!ParseFields(*spec, w, 2, &fields, &why)) return fail(why);
      std::optional<WireMessage> m;
      while ((m = receive()) && m->name != w[1]) {
      }
      if (!m) return fail("awaited " + w[1] + ", got nothing");
      if (!Matches(*m, fields, &why)) return fail(why);
    } else if (cmd == "recv") {
      if (!receive()) return fail("nothing received");
    } else if (cmd == "handshake") {
      std::vector<std::string> names;
      while (names.empty() || names.back() != "DATAPROMPT") {
        std::optional<WireMessage> m = receive();
        if (!m) return fail("handshake ended early after" + Joined(names));
        names.push_back(m->name);
      }
      if (names != kHandshake && names != kSignedInHandshake)
        return fail(
            "handshake was" + Joined(names) +
            ", expected WELCOME [LOGIN USERINFO] SYSTEMCONFIG GAMECONFIG CONFIGOK DATAPROMPT");
    } else if (cmd == "video") {
      if (w.size() < 5) return fail("video <invitation> <w> <h> <count>");
      for (int i = 0; i < std::atoi(w[4].c_str()); ++i)
        if (!sim.PushVideoFrame(w[1], static_cast<uint16_t>(std::atoi(w[2].c_str())),
                                static_cast<uint16_t>(std::atoi(w[3].c_str()))))
          return fail("frame not sent");
    } else if (cmd == "raw") {
      std::vector<uint8_t> bytes;
      for (size_t i = 1; i < w.size(); ++i)
        bytes.push_back(static_cast<uint8_t>(std::stoul(w[i], nullptr, 16)));
      if (!sim.SendBytes(bytes)) return fail("bytes not sent");
    } else if (cmd == "detach" || cmd == "close") {
      if (cmd == "detach")
        sim.Detach();
      else
        sim.Close();
      if (!sim.WaitDisconnected(timeout)) return fail("pipe did not close");
    } else if (cmd == "expect-closed") {
      while (receive()) {
      }
      if (!sim.WaitDisconnected(timeout)) return fail("pipe still open");
      out << "closed\n";
    } else {
      return fail("unknown command " + cmd);
    }
    if (!sim.errors().empty()) return fail(sim.errors().front());
  }
  if (!sim.errors().empty()) return fail(sim.errors().front());
  return true;
}

}  // namespace gamesim
