// The one kind of failure the render tool reports: a message for the user, one
// line, without the program name (main adds it).
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};
