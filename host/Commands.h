// SPDX-License-Identifier: Apache-2.0
// The subcommands of the `dravik` command. Each registers itself on the
// application and, when it runs, stores its exit status in `exitCode`.
#pragma once

#include "host/common/ExitStatus.h"

#include <CLI/CLI.hpp>

#include <string>

void AddFetchCommand(CLI::App& app, int& exitCode);
void AddOfflineCommand(CLI::App& app, int& exitCode);
void AddCacheCommand(CLI::App& app, int& exitCode);
void AddSyncCommand(CLI::App& app, int& exitCode);
void AddPanelCommand(CLI::App& app, int& exitCode);
void AddSnippetCommand(CLI::App& app, int& exitCode);
void AddNamesCommand(CLI::App& app, int& exitCode);
void AddDemoCommand(CLI::App& app, int& exitCode);
void AddRegisterCommands(CLI::App& app, int& exitCode);
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddProxyCommand(CLI::App& app, int& exitCode);
/// Adds show, remove, clear and missed to the `cache` subcommand.
void AddCacheEntryCommands(CLI::App& cache, int& exitCode);

/// `dravik fetch --missed`; returns the exit status.
int RunFetchMissed();
