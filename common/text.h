// UTF-8 / UTF-16 conversion for the edges where the two meet: the failure
// log, command-line arguments and messages. Invalid input is replaced with
// U+FFFD rather than refused, since these texts are only ever shown.
#pragma once

#include <string>
#include <string_view>

namespace common {

std::u16string Utf8ToUtf16(std::string_view text);
/// The longest start of `text` that holds at most `maxUnits` characters,
/// counted as UTF-16 units (as a Windows buffer counts them), cut only
/// between characters.
std::string TruncateUtf8(std::string text, std::size_t maxUnits);
std::string Utf16ToUtf8(std::u16string_view text);
/// wchar_t strings: UTF-16 on Windows, UTF-32 elsewhere.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
/// `text` with A-Z as a-z and everything else kept: family names compare
/// this way, as fontconfig and DirectWrite do for the Latin letters.
std::u16string AsciiLower(std::u16string_view text);

}  // namespace common

#include <filesystem>

namespace common {

/// Paths from and to UTF-8 text, the same way on every platform.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace common
