// SPDX-License-Identifier: Apache-2.0
// The module's two class objects: the control's and its property page's,
// each with its registration.
#pragma once

#include "framework/com/ObjectFactory.h"

#include <span>

/// The class objects in registration order: the control, then its page.
std::span<COleObjectFactory* const> ModuleFactories();
