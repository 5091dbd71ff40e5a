// SPDX-License-Identifier: Apache-2.0
// The process-wide allowed engine commands and methods.
//
// Every control instance that takes its configuration refills both lists;
// the retrieval policy only reads them. Each is a sorted set: distinct
// texts in ascending unit order, searched by binary search.
#pragma once

#include "foundation/VELStringList.h"

extern CVELStringList g_allowedCommands;
extern CVELStringList g_allowedMethods;

/// Empties `list` and fills it with the distinct non-empty comma-separated
/// pieces of `text`, taken exactly as written (no trimming, no case folding).
void ParseList(const char16_t* text, CVELStringList& list);
