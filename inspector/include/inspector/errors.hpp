// The two failures the inspector raises: EQZPropEditor for values an editor cannot take, EQZPropsPage for
// misuse of the control. Both carry the message that is shown to the operator.
#pragma once

#include <QString>

#include <stdexcept>

namespace tagsink::inspector {

class EQZError : public std::runtime_error {
public:
    explicit EQZError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};

/// A value that a property editor cannot take ("Invalid property value", "Value must be between ...").
class EQZPropEditor : public EQZError {
public:
    using EQZError::EQZError;
};

/// Misuse of the inspector (changing the inspected objects while a value is being applied).
class EQZPropsPage : public EQZError {
public:
    using EQZError::EQZError;
};

/// The message of any exception, for showing it to the operator.
QString ExceptionMessage(const std::exception& e);

} // namespace tagsink::inspector
