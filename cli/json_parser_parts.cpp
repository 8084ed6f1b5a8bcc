// cli/json_parser_parts.cpp - the part of Boost.JSON's compiled library that nolt's JSON reader
// needs: its error codes and the parser's stack. Boost's library is one object holding every
// part, and its stream operators bring C++'s streams and locales (and their start-up work)
// into a static program. With these defined here the linker never takes that object for nolt;
// code in nolt that needs more of Boost.JSON than its parser will not link (duplicate symbols).
#define BOOST_JSON_SOURCE
#include <boost/json/detail/stack.hpp>
#include <boost/json/error.hpp>
#include <boost/json/storage_ptr.hpp>

// The definitions, after every declaration they need.
#include <boost/json/detail/impl/default_resource.ipp>
#include <boost/json/detail/impl/except.ipp>
#include <boost/json/detail/impl/shared_resource.ipp>
#include <boost/json/detail/impl/stack.ipp>
#include <boost/json/impl/error.ipp>
