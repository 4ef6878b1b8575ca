// Docstrings: each callable's text signature followed by its prose. The
// prose is generated at build time from the docstrings of the type stubs
// (tools/docstrings.py), so help() and the stubs say the same.
#pragma once

#include <string_view>

#include "python/py.hpp"

namespace tessaron::py {

// `signature_doc` ("name(...)\n--\n\n", or nullptr for none) followed by the
// prose under `key` ("tessaron.stats.mean", "Array", "Array.clip"); the
// signature alone when there is no prose. The text lives for the process.
const char* with_prose(std::string_view key, const char* signature_doc);

// Documents a method table entry as a member of `owner` ("Array") or a
// function of the module `owner` ("tessaron.stats").
void document(PyMethodDef& def, std::string_view owner);

// Documents the methods and the class docstring of a type about to be
// created from `spec`.
void document_spec(PyType_Spec& spec);

}  // namespace tessaron::py
