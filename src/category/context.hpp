#pragma once

#include "category/user_interface.hpp"
#include "runtime/system.hpp"

namespace kbnset::category {

// Where the steps reach the system and the user.
struct Context {
    runtime::System& system;
    UserInterface& ui;
};

}  // namespace kbnset::category
