#include "python/docstrings.hpp"

#include <deque>
#include <string>

namespace tessaron::py {
namespace {

struct Prose {
    std::string_view key, text;
};

constexpr Prose kProse[] = {
#include "docstrings.inc"
};

// Joined texts: created at module initialisation (under the GIL), read by
// CPython through the method tables for the life of the process.
std::deque<std::string>& joined() {
    static auto* texts = new std::deque<std::string>();  // never freed: the tables outlive exit handlers
    return *texts;
}

}  // namespace

const char* with_prose(std::string_view key, const char* signature_doc) {
    for (const Prose& p : kProse) {
        if (p.key != key) continue;
        if (signature_doc && std::string_view(signature_doc).ends_with(p.text)) return signature_doc;  // done before
        std::string text = signature_doc ? signature_doc : "";
        text += p.text;
        return joined().emplace_back(std::move(text)).c_str();
    }
    return signature_doc;
}

void document(PyMethodDef& def, std::string_view owner) {
    def.ml_doc = with_prose(std::string(owner) + "." + def.ml_name, def.ml_doc);
}

void document_spec(PyType_Spec& spec) {
    std::string_view name = spec.name;
    name.remove_prefix(name.rfind('.') + 1);  // "tessaron.spatial.KDTree" -> "KDTree"
    for (PyType_Slot* slot = spec.slots; slot->slot; ++slot) {
        if (slot->slot == Py_tp_methods)
            for (auto* def = static_cast<PyMethodDef*>(slot->pfunc); def->ml_name; ++def) document(*def, name);
        else if (slot->slot == Py_tp_doc)
            slot->pfunc = const_cast<char*>(with_prose(name, static_cast<const char*>(slot->pfunc)));
    }
}

}  // namespace tessaron::py
