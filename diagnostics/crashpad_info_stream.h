#ifndef DIAGNOSTICS_CRASHPAD_INFO_STREAM_H_
#define DIAGNOSTICS_CRASHPAD_INFO_STREAM_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace diagnostics {

// The minidump user stream that Crashpad-compatible collection servers read
// the report id, the client id and the annotations from.
constexpr uint32_t kCrashpadInfoStreamType = 0x43500001;

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper-case, without braces.
std::string GuidText(const GUID& guid);

// The stream's bytes: version 1, the two ids, the location of the annotation
// dictionary, an empty module-list location, the dictionary (count, then a
// key and a value offset per entry) and the strings (length, UTF-8 bytes, a
// terminating zero, padded to 4 bytes). Every offset inside is relative to
// the stream's start; RelocateCrashpadInfoStream makes them file offsets.
std::string BuildCrashpadInfoStream(const GUID& report_id, const GUID& client_id,
                                    const std::map<std::string, std::string>& annotations);

// Adds `stream_offset` to every offset inside a stream made by
// BuildCrashpadInfoStream. False (and `stream` unchanged) when the bytes are
// not such a stream.
bool RelocateCrashpadInfoStream(std::string* stream, uint32_t stream_offset);

// Finds the stream in the minidump open in `file` (read and write access),
// relocates it to where the dump writer put it and writes it back in place.
// Logs and answers false on failure.
bool FixCrashpadInfoStreamInDump(HANDLE file);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_CRASHPAD_INFO_STREAM_H_
