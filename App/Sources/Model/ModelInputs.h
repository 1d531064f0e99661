#pragma once

#include <QPointer>

namespace qm {

// Stores an input object that QML binds into a model; true when it changed, so that the model
// follows the new one.
template <typename T>
bool assignInput(QPointer<T>& field, T* value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

}  // namespace qm
