// The one place where C++ exceptions become Python exceptions.
#include <new>
#include <stdexcept>

#include "module_state.hpp"
#include "wayloom/core/error.hpp"

namespace wayloom::py {

namespace {
void set_panic(PyObject* module, const char* text) {
  PyObject* type = module ? state_of(module).panic_exception : nullptr;
  PyErr_SetString(type ? type : PyExc_SystemError, text);
}
}  // namespace

PyObject* translate_exception(PyObject* module) noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception");
  } catch (const UsageError& e) {
    PyErr_SetString(PyExc_ValueError, e.what());
  } catch (const CoreError& e) {
    set_panic(module, e.what());
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
