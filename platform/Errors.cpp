#include "Errors.h"

QString ErrorMessage(const std::exception& error) {
    if (auto* quvar = dynamic_cast<const QuvarError*>(&error))
        return quvar->message();
    return QString::fromUtf8(error.what());
}
