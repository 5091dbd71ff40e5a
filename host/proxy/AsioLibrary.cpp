// SPDX-License-Identifier: Apache-2.0
// The compiled parts of Boost.Asio and Boost.Beast, built once here instead
// of in every file that uses them.
#include <boost/asio/impl/src.hpp>
#include <boost/asio/ssl/impl/src.hpp>
#include <boost/beast/src.hpp>
