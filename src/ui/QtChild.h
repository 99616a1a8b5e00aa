#pragma once
// Widgets, layouts and other Qt objects that belong to a parent object are
// owned by that parent (or by the container they are handed to at once,
// such as a table taking an item), which deletes them with itself. Child<T>(..., parent)
// makes such an object and hands it over at once; the pointer it returns is
// a view, never to be deleted.
#include <memory>
#include <utility>

namespace velgard::ui {

template <typename T, typename... Args>
T* Child(Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...).release();
}

}  // namespace velgard::ui
