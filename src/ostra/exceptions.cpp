#include "ostra/exceptions.h"

namespace ostra {

Exception::Exception(const char* sourceFile, std::uint32_t sourceLine, std::wstring message)
    : sourceFile_(sourceFile), sourceLine_(sourceLine), message_(std::move(message)) {}

Exception::Exception(const Exception& other)
    : std::exception(other),
      sourceFile_(other.sourceFile_),
      sourceLine_(other.sourceLine_),
      reserved_(other.reserved_),
      message_(other.message_),
      cause_(other.cause_ ? other.cause_->Clone() : nullptr) {}

Exception& Exception::operator=(const Exception& other) {
    if (this != &other) {
        std::unique_ptr<Exception> cause(other.cause_ ? other.cause_->Clone() : nullptr);
        std::exception::operator=(other);
        sourceFile_ = other.sourceFile_;
        sourceLine_ = other.sourceLine_;
        reserved_ = other.reserved_;
        message_ = other.message_;
        cause_ = std::move(cause);
    }
    return *this;
}

Exception::~Exception() = default;

std::wstring ResultCodeException::GetDescription() const {
    std::wstring description = Message();
    if (!description.empty()) description += L": ";
    FormatResultCode(description, resultCode_);
    return description;
}

}  // namespace ostra
