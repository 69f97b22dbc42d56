// The one place where C++ exceptions become Python exceptions.
#include <new>
#include <stdexcept>

#include "module_state.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/memory_budget.hpp"

namespace wayloom::py {

namespace {
// Raises `type` with the exact text (embedded NULs kept, invalid UTF-8 escaped).
void set_error(PyObject* type, const std::string& text) {
  PyObject* s = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "surrogateescape");
  if (!s) return;
  PyErr_SetObject(type, s);
  Py_DECREF(s);
}

void set_panic(PyObject* module, const std::string& text) {
  PyObject* type = module ? state_of(module).panic_exception : nullptr;
  set_error(type ? type : PyExc_SystemError, text);
}
}  // namespace

PyObject* translate_exception(PyObject* module) noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception");
  } catch (const UsageError& e) {
    set_error(PyExc_ValueError, e.message());
  } catch (const CoreError& e) {
    set_panic(module, e.message());
  } catch (const MemoryLimitError& e) {
    set_error(PyExc_MemoryError, e.message());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    set_panic(module, e.what());
  } catch (...) {
    set_panic(module, "internal error");
  }
  return nullptr;
}

}  // namespace wayloom::py
