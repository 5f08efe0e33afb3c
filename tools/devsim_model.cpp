#include "tools/devsim_model.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace devsim {

DeviceConfig DefaultConfig(DeviceKind kind) {
  DeviceConfig config;
  config.kind = kind;
  const bool iface = kind == DeviceKind::kInterface;
  config.version = iface ? "2.0" : "1.1";
  config.ident = iface ? "KORVA TARVEX 88B" : "KORVA x-ray-unit 52-K";
  config.delimiter = iface ? " /" : "/";
  return config;
}

Device::Device(DeviceConfig config) : config_(std::move(config)) {}

std::optional<std::string> Device::Receive(char byte) {
  line_ += byte;
  if (byte != '\r' && line_.size() < 256) {
    return std::nullopt;
  }
  return std::exchange(line_, std::string());
}

Response Device::Handle(const std::string& line, long baud) {
  Response response;
  response.ignored = config_.baudCheck && baud != ExpectedBaud();
  ++commands_;
  if (config_.mode == DeviceMode::kHangup && commands_ >= config_.modeArg) {
    response.hangUp = true;
    return response;
  }
  if (response.ignored || config_.mode == DeviceMode::kSilent) {
    return response;
  }
  std::string command = line;
  if (!command.empty() && command.back() == '\r') {
    command.pop_back();
  }
  response.reply = Answer(command);
  if (!response.reply) {
    return response;
  }
  response.delayMs = config_.mode == DeviceMode::kSlow ? config_.modeArg : 0;
  response.stream = config_.mode == DeviceMode::kEndless && IsQuery(command);
  return response;
}

std::optional<std::string> Device::Answer(const std::string& command) const {
  const bool iface = config_.kind == DeviceKind::kInterface;
  std::string reply;
  if (command == (iface ? "&" : "MODE=REMOTE")) {
    reply = iface ? "OK\r" : "REMOTE\r";
  } else if (command == (iface ? "0iv" : "VERSION?")) {
    reply = Identification();
  } else {
    return std::nullopt;
  }
  if (config_.mode == DeviceMode::kNoisy) {
    reply = "\xfe\x1b~#?" + reply;
  }
  return reply;
}

bool Device::IsQuery(const std::string& command) const {
  return command == (config_.kind == DeviceKind::kInterface ? "0iv" : "VERSION?");
}

long Device::ExpectedBaud() const {
  return config_.kind == DeviceKind::kInterface ? 115200 : 9600;
}

std::string Device::Identification() const {
  std::string reply = config_.reply.value_or(config_.ident + " Ver " + config_.version +
                                             config_.delimiter + config_.rest + "\r");
  if (config_.mode == DeviceMode::kZero) {
    reply = std::string("*\0", 2) + reply;
  } else if (config_.mode == DeviceMode::kFlood250 && reply.size() < 250) {
    reply += std::string(249 - reply.size(), '.') + "\r";
  }
  return reply;
}

std::string Escape(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c > 0x7e) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char e = text[++i];
    if (e == 'r') {
      out += '\r';
    } else if (e == 'n') {
      out += '\n';
    } else if (e == 't') {
      out += '\t';
    } else if (e == '0') {
      out += '\0';
    } else if (e == '\\') {
      out += '\\';
    } else if (e == 'x' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += '\\';
      out += e;
    }
  }
  return out;
}

}  // namespace devsim
