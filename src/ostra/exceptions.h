#pragma once
// The small exception hierarchy that carries a result code, with its source
// site and an optional cause, plus the framework's non-copyable base.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "ostra/result_codes.h"

namespace ostra {

class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

class Exception : public std::exception {
public:
    Exception(const char* sourceFile, std::uint32_t sourceLine, std::wstring message = {});
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override { return "Unknown exception"; }
    virtual std::wstring GetDescription() const { return message_; }
    [[noreturn]] virtual void Rethrow() const = 0;
    virtual Exception* Clone() const = 0;

    const char* SourceFile() const { return sourceFile_; }
    std::uint32_t SourceLine() const { return sourceLine_; }
    const std::wstring& Message() const { return message_; }
    const Exception* Cause() const { return cause_.get(); }
    void SetCause(const Exception& cause) { cause_.reset(cause.Clone()); }

private:
    const char* sourceFile_;
    std::uint32_t sourceLine_;
    std::uint32_t reserved_ = 0;
    std::wstring message_;
    std::unique_ptr<Exception> cause_;
};

// Supplies Rethrow and Clone for `Derived`, whose base is `Base`.
template <class Derived, class Base>
class ExceptionBase : public Base {
public:
    using Base::Base;

    [[noreturn]] void Rethrow() const override { throw static_cast<const Derived&>(*this); }
    Exception* Clone() const override { return new Derived(static_cast<const Derived&>(*this)); }
};

class ResultCodeException : public ExceptionBase<ResultCodeException, Exception> {
public:
    ResultCodeException(const char* sourceFile, std::uint32_t sourceLine, ResultCode resultCode,
                        std::wstring message = {})
        : ExceptionBase(sourceFile, sourceLine, std::move(message)), resultCode_(resultCode) {}

    const char* what() const noexcept override { return "ResultCodeException"; }
    std::wstring GetDescription() const override;
    ResultCode GetResultCode() const { return resultCode_; }

private:
    ResultCode resultCode_;
};

class CheckResultFailedException : public ExceptionBase<CheckResultFailedException, ResultCodeException> {
public:
    CheckResultFailedException(const char* sourceFile, std::uint32_t sourceLine, ResultCode resultCode)
        : ExceptionBase(sourceFile, sourceLine, resultCode) {}

    const char* what() const noexcept override { return "CheckResultFailedException"; }
};

}  // namespace ostra
