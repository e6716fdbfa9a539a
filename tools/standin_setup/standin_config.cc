#include "tools/standin_setup/standin_config.h"

#include "base/string_conv.h"

namespace standin {

namespace {

std::optional<DWORD> ParseMilliseconds(std::wstring_view text) {
  uint64_t value = 0;
  // INFINITE would turn a bounded wait into a hang.
  if (!base::ParseUnsignedDecimal(text, &value) || value >= INFINITE)
    return std::nullopt;
  return static_cast<DWORD>(value);
}

std::optional<bool> ParseFlag(std::wstring_view text) {
  if (text == L"1")
    return true;
  if (text == L"0")
    return false;
  return std::nullopt;
}

std::optional<uint64_t> ParseHex(std::wstring_view text) {
  if (text.empty() || text.size() > 16)
    return std::nullopt;
  uint64_t value = 0;
  for (wchar_t c : text) {
    int digit;
    if (c >= L'0' && c <= L'9')
      digit = c - L'0';
    else if (c >= L'a' && c <= L'f')
      digit = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
      digit = c - L'A' + 10;
    else
      return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// Reads one variable with `parse` into `*field`, noting a malformed value.
template <typename T, typename Parser>
void ReadInto(const EnvironmentLookup& lookup, const wchar_t* name, Parser parse, T* field,
              std::vector<std::wstring>* errors) {
  std::optional<std::wstring> text = lookup(name);
  if (!text)
    return;
  auto value = parse(base::TrimWhitespace(*text));
  if (value)
    *field = *value;
  else
    errors->push_back(std::wstring(name) + L" has a malformed value: \"" + *text + L"\"");
}

}  // namespace

std::optional<std::wstring> ProcessEnvironment(const wchar_t* name) {
  DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1)
    return std::nullopt;
  std::wstring value(size, L'\0');
  DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size)
    return std::nullopt;
  value.resize(length);
  return value;
}

StandinConfig ReadConfig(const EnvironmentLookup& lookup, std::vector<std::wstring>* errors) {
  StandinConfig config;
  auto path = [](std::wstring_view text) { return std::optional<std::wstring>(text); };
  ReadInto(lookup, L"TX_STANDIN_RECORD", path, &config.record_path, errors);
  ReadInto(lookup, L"TX_STANDIN_LOG", path, &config.log_path, errors);
  ReadInto(lookup, L"TX_STANDIN_STAGES", ParseNumberList, &config.stages, errors);
  ReadInto(lookup, L"TX_STANDIN_STEP_MS", ParseMilliseconds, &config.step_ms, errors);
  ReadInto(lookup, L"TX_STANDIN_HIGHER_VERSION", ParseFlag, &config.higher_version, errors);
  ReadInto(lookup, L"TX_STANDIN_CLOSE_WINDOW", ParseFlag, &config.close_window, errors);
  ReadInto(lookup, L"TX_STANDIN_SETUP_MS", ParseMilliseconds, &config.setup_ms, errors);
  ReadInto(lookup, L"TX_STANDIN_BROWSER_MS", ParseMilliseconds, &config.browser_ms, errors);
  ReadInto(lookup, L"TX_STANDIN_BROWSER_DIR", path, &config.browser_dir, errors);
  ReadInto(lookup, L"TX_STANDIN_IMPORT_PROGRESS", ParseNumberList, &config.import_progress,
           errors);
  ReadInto(lookup, L"TX_STANDIN_BROWSER_CLOSE_WINDOW", ParseFlag, &config.browser_close_window,
           errors);
  ReadInto(lookup, L"TX_STANDIN_EXIT_CODE", ParseExitCode, &config.exit_code, errors);
  return config;
}

std::optional<DWORD> ParseExitCode(std::wstring_view text) {
  bool negative = !text.empty() && text.front() == L'-';
  if (negative)
    text.remove_prefix(1);
  std::optional<uint64_t> magnitude;
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    magnitude = ParseHex(text.substr(2));
  } else {
    uint64_t value = 0;
    if (base::ParseUnsignedDecimal(text, &value))
      magnitude = value;
  }
  if (!magnitude)
    return std::nullopt;
  if (negative) {
    if (*magnitude > 0x80000000u)
      return std::nullopt;
    return static_cast<DWORD>(0u - static_cast<uint32_t>(*magnitude));
  }
  if (*magnitude > 0xFFFFFFFFu)
    return std::nullopt;
  return static_cast<DWORD>(*magnitude);
}

std::optional<std::vector<uint32_t>> ParseNumberList(std::wstring_view text) {
  std::vector<uint32_t> numbers;
  if (text == L"none")
    return numbers;
  size_t begin = 0;
  for (;;) {
    size_t comma = text.find(L',', begin);
    std::wstring item =
        base::TrimWhitespace(text.substr(begin, comma == std::wstring_view::npos
                                                    ? std::wstring_view::npos
                                                    : comma - begin));
    uint64_t value = 0;
    if (!base::ParseUnsignedDecimal(item, &value) || value > UINT32_MAX)
      return std::nullopt;
    numbers.push_back(static_cast<uint32_t>(value));
    if (comma == std::wstring_view::npos)
      return numbers;
    begin = comma + 1;
  }
}

std::optional<std::wstring> FindSwitchValue(const std::vector<std::wstring>& args,
                                            std::wstring_view name) {
  std::wstring prefix = L"--" + std::wstring(name) + L"=";
  std::optional<std::wstring> value;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].compare(0, prefix.size(), prefix) == 0)
      value = args[i].substr(prefix.size());
  }
  return value;
}

bool HasSwitch(const std::vector<std::wstring>& args, std::wstring_view name) {
  std::wstring text = L"--" + std::wstring(name);
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == text)
      return true;
  }
  return false;
}

std::optional<uintptr_t> ParseHandleValue(std::wstring_view text) {
  uint64_t value = 0;
  if (!base::ParseUnsignedDecimal(text, &value) || value > UINTPTR_MAX)
    return std::nullopt;
  return static_cast<uintptr_t>(value);
}

}  // namespace standin
