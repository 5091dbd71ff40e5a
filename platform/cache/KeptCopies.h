// SPDX-License-Identifier: Apache-2.0
// The copies opened for serving in the last moment, kept for the next
// request of the same URL.
//
// A browser asks for a page's images and style sheets again and again; a
// look-up in the index and an open of the body cost more than the answer.
// A kept copy is used for one second at most, so a new download or a
// deletion made by another process shows within that time; one made by
// this process drops every kept copy at once (ForgetRecentBodies).
#pragma once

#include <memory>
#include <string_view>

namespace urlcache {

class StoredCopy;

/// The copy kept for `url` (exactly as given), when it is fresh; null else.
std::shared_ptr<const StoredCopy> FindKeptCopy(std::string_view url);

/// Keeps `copy` for `url`.
void KeepCopy(std::string_view url, std::shared_ptr<const StoredCopy> copy);

/// Drops every kept copy.
void ForgetKeptCopies();

} // namespace urlcache
