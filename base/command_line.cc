#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/string_conv.h"
#include "base/installer_switches.h"

namespace base {

namespace {

constexpr std::wstring_view kPrefixes[] = {L"--", L"-", L"/"};

// Strips the first matching prefix; answers false when there is none.
bool StripPrefix(std::wstring* argument) {
  for (std::wstring_view prefix : kPrefixes) {
    if (argument->compare(0, prefix.size(), prefix) == 0) {
      argument->erase(0, prefix.size());
      return true;
    }
  }
  return false;
}

std::string NormalizeName(std::wstring_view name) {
  return base::ToLowerAscii(base::NarrowLow8(name));
}

// A name is written back unquoted, so a blank, a tab or a quote in it would
// split it into further arguments (more switches for the setup), and an "="
// would move its end; a control character, NUL above all (U+2200 narrows to
// it), would end the whole command line there. Names are checked as 8-bit
// text, after narrowing.
bool IsSafeName(std::string_view name) {
  if (name.empty())
    return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '=')
      return false;
  }
  return true;
}

std::string StripNamePrefix(std::string_view name) {
  for (std::string_view prefix : {"--", "-", "/"}) {
    if (name.substr(0, prefix.size()) == prefix)
      return std::string(name.substr(prefix.size()));
  }
  return std::string(name);
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view text) {
  std::vector<std::wstring> arguments;
  // CommandLineToArgvW answers the executable's path for an empty text.
  if (text.empty())
    return arguments;
  std::wstring buffer(text);
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(buffer.c_str(), &count);
  if (!argv)
    return arguments;
  for (int i = 0; i < count; ++i)
    arguments.emplace_back(argv[i]);
  ::LocalFree(argv);
  return arguments;
}

std::wstring QuoteArgument(std::wstring_view text) {
  // A tab splits arguments as a blank does, so it needs quotes too.
  if (text.find_first_of(L" \t\\\"") == std::wstring_view::npos)
    return std::wstring(text);
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      // Backslashes before a quote are doubled, and the quote is escaped.
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quote are doubled as well.
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

CommandLine CommandLine::FromString(std::wstring_view text) {
  CommandLine command_line;
  std::vector<std::wstring> arguments = SplitCommandLine(base::TrimWhitespace(text));
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::wstring argument = base::TrimWhitespace(arguments[i]);
    if (i == 0) {
      command_line.program_ = std::move(argument);
      continue;
    }
    if (!StripPrefix(&argument))
      continue;
    size_t equals = argument.find(L'=');
    std::string name = NormalizeName(std::wstring_view(argument).substr(0, equals));
    if (!IsSafeName(name))
      continue;
    command_line.switches_[name] =
        equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
  }
  command_line.ExpandSemiSilent();
  return command_line;
}

CommandLine& CommandLine::ForCurrentProcess() {
  static CommandLine current = FromString(::GetCommandLineW());
  return current;
}

bool CommandLine::HasSwitch(std::string_view name) const {
  return switches_.find(std::string(name)) != switches_.end();
}

std::wstring CommandLine::GetSwitchValue(std::string_view name) const {
  auto it = switches_.find(std::string(name));
  return it == switches_.end() ? std::wstring() : it->second;
}

std::string CommandLine::GetSwitchValueAscii(std::string_view name) const {
  return base::NarrowLow8(GetSwitchValue(name));
}

bool CommandLine::SetSwitch(std::string_view name, std::wstring value) {
  std::string key = base::ToLowerAscii(StripNamePrefix(name));
  if (!IsSafeName(key))
    return false;
  switches_[key] = std::move(value);
  return true;
}

void CommandLine::RemoveSwitch(std::string_view name) {
  switches_.erase(std::string(name));
}

bool CommandLine::HasSwitch(const char* name) const {
  return HasSwitch(std::string_view(name));
}

std::wstring CommandLine::GetSwitchValue(const char* name) const {
  return GetSwitchValue(std::string_view(name));
}

bool CommandLine::AppendSwitch(const char* name) {
  return SetSwitch(std::string_view(name), std::wstring());
}

bool CommandLine::SetSwitch(const char* name, std::wstring value) {
  return SetSwitch(std::string_view(name), std::move(value));
}

void CommandLine::RemoveSwitch(const char* name) {
  RemoveSwitch(std::string_view(name));
}

std::wstring CommandLine::Format() const {
  std::wstring out = QuoteArgument(program_);
  for (const auto& [name, value] : switches_) {
    out += L" --";
    out += base::WidenBytes(name);
    if (!value.empty()) {
      out += L'=';
      out += QuoteArgument(value);
    }
  }
  return out;
}

void CommandLine::ExpandSemiSilent() {
  if (HasSwitch(switches::kSemiSilent)) {
    AppendSwitch(switches::kSilent);
    AppendSwitch(switches::kUacEnabled);
  }
}

}  // namespace base
