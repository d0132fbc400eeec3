#pragma once

#include <exception>
#include <string>
#include <utility>

// The program's own failure: a message (usually the name of the failing class) and an integer code
// (an errno value or an operating-system code where one exists, else 0).
class TException : public std::exception
{
public:
    explicit TException(std::string message, int code = 0)
        : m_message(std::move(message))
        , m_code(code)
    {
    }

    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& message() const noexcept { return m_message; }
    int code() const noexcept { return m_code; }

private:
    std::string m_message;
    int m_code;
};
