// The line protocol between an authorization and its privileged helper.
//
// The helper first writes "ready" once it runs with the rights. Then every
// request is one line: the tool's path and its arguments, each
// percent-encoded (bytes outside '!'..'~' and '%' itself as %XX) and joined
// by single spaces. Every request gets one answer line: "ok <pid>" once the
// tool has started, or "error <reason>".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::privileged {

// The longest request line, newline included. A removal path is below 255
// bytes, so even fully encoded its request stays well inside.
constexpr size_t kMaxRequestLine = 1024;

constexpr std::string_view kReadyAnswer = "ready";
constexpr std::string_view kStartedAnswer = "ok";
constexpr std::string_view kErrorAnswer = "error";

// Any thread: the request line for the fields, newline included; nullopt
// when a field is empty or the line would be longer than kMaxRequestLine.
std::optional<std::string> encodeRequest(const std::vector<std::string>& fields);

// Any thread: the fields of a request line given without its newline;
// nullopt when the line is empty, a field is empty, an escape is not two hex
// digits or a field holds a zero byte.
std::optional<std::vector<std::string>> decodeRequest(std::string_view line);

} // namespace vt::privileged
