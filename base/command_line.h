#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// A program path and its switches, ordered by name (byte order). Names are
// 8-bit, lower case and without prefix; a switch without value has an empty
// value. The installer uses one object for its own command line, the setup
// command line and the command line of its elevated child.
class CommandLine {
 public:
  using SwitchMap = std::map<std::string, std::wstring>;

  CommandLine() = default;
  explicit CommandLine(std::wstring program) : program_(std::move(program)) {}

  // Parses a command-line text: split as CommandLineToArgvW does; the first
  // argument is the program; later ones starting with "--", "-" or "/" are
  // switches, others are dropped, and so are switches whose names SetSwitch
  // would refuse.
  static CommandLine FromString(std::wstring_view text);

  // The process's own command line, parsed once on first use. Not thread-safe
  // on first use: the entry point touches it before any thread starts.
  static CommandLine& ForCurrentProcess();

  const std::wstring& program() const { return program_; }
  void set_program(std::wstring program) { program_ = std::move(program); }

  bool HasSwitch(std::string_view name) const;
  // Empty when the switch is absent or has no value.
  std::wstring GetSwitchValue(std::string_view name) const;
  // The value narrowed to its low 8 bits per unit.
  std::string GetSwitchValueAscii(std::string_view name) const;
  // `name` may carry a prefix ("--", "-", "/"), which is stripped. A name
  // that is empty or holds a blank, a tab, a line break, a quote or "=" is
  // refused (false): it could not be written back as one switch.
  bool AppendSwitch(std::string_view name) { return SetSwitch(name, std::wstring()); }
  bool SetSwitch(std::string_view name, std::wstring value);
  void RemoveSwitch(std::string_view name);
  // Switches are mostly named by constants: taken as pointers, their length
  // is measured here once rather than at each of some sixty calls.
  bool HasSwitch(const char* name) const;
  std::wstring GetSwitchValue(const char* name) const;
  bool AppendSwitch(const char* name);
  bool SetSwitch(const char* name, std::wstring value);
  void RemoveSwitch(const char* name);
  const SwitchMap& switches() const { return switches_; }

  // The program, quoted, then " --name" or " --name=value" for every switch in
  // name order, values quoted so that CommandLineToArgvW gives them back.
  std::wstring Format() const;

 private:
  // `semi-silent` stands for `silent` plus `uac-enabled`.
  void ExpandSemiSilent();

  std::wstring program_;
  SwitchMap switches_;
};

// Splits `text` into arguments by the rules of CommandLineToArgvW.
std::vector<std::wstring> SplitCommandLine(std::wstring_view text);

// Quotes `text` when it holds a blank, a backslash or a double quote, so that
// CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view text);

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
