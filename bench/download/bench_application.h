#pragma once
// The real window toolkit where there is one, the headless one elsewhere.

#include <memory>

#include "ui/application.h"

namespace ovix::bench {
std::unique_ptr<ui::Application> MakeApplication();
}
