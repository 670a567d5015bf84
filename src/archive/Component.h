// The named object that the archive component derives from: the window
// owns it under a name ("Zip"), and messages of the engine carry that name.
#pragma once

#include <string>

namespace archive {

class TComponent {
  public:
    explicit TComponent(std::string name = {}) : Name(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string Name;
};

}  // namespace archive
