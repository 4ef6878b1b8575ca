// The one include of the CPython C API for the binding layer.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>  // PyMemberDef's constants, in Python.h from 3.12
#endif
