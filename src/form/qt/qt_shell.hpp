// The real dialogs and the desktop, behind the Shell seam.
#pragma once

#include <memory>

#include "form/form.hpp"

namespace quorvel::form::qt {

std::unique_ptr<Shell> makeShell();

}  // namespace quorvel::form::qt
