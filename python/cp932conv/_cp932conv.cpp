// SPDX-License-Identifier: MIT
// The Python face of the C library: a Converter object that converts bytes-like chunks into
// bytes, and reports what it dropped or replaced. The codecs are made of it in __init__.py.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "cp932conv.h"
#include "platform.h"

#include <string>
#include <vector>

namespace {

struct item {
  uint64_t offset;
  size_t length;
  uint64_t line, column;
  std::string description;
  uint32_t value;
  bool replaced;
};

struct converter_object {
  PyObject_HEAD cp932conv *converter;
  int direction, form;
  std::vector<item> *items; // while a conversion collects them
};

void collect(void *context, const cp932conv_item *found) {
  auto *items = static_cast<std::vector<item> *>(context);
  items->push_back({found->offset, found->length, found->line, found->column, found->description,
                    found->value, found->replaced != 0});
}

int converter_init(converter_object *self, PyObject *args, PyObject *keywords) {
  static const char *names[] = {"direction", "form", "letters", "replacement", nullptr};
  int direction = 0, form = 0;
  const char *letters = "";
  PyObject *replacement = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, keywords, "ii|sO", const_cast<char **>(names), &direction,
                                   &form, &letters, &replacement))
    return -1;
  cp932conv_options options = {direction, form, letters, replacement != Py_None, 0};
  if (options.replace) {
    const long value = PyLong_AsLong(replacement);
    if (value == -1 && PyErr_Occurred()) return -1;
    options.replacement = static_cast<int32_t>(value);
  }
  cp932conv *made = nullptr;
  const int answer = cp932conv_new(&options, &made);
  if (answer != CP932CONV_OK) {
    PyErr_SetString(answer == CP932CONV_NO_MEMORY ? PyExc_MemoryError : PyExc_ValueError,
                    answer == CP932CONV_BAD_LETTER        ? "bad letter"
                    : answer == CP932CONV_BAD_REPLACEMENT ? "bad replacement"
                                                          : "bad direction or form");
    return -1;
  }
  if (self->converter != nullptr) cp932conv_free(self->converter);
  self->converter = made;
  self->direction = direction;
  self->form = form;
  return 0;
}

void converter_dealloc(converter_object *self) {
  if (self->converter != nullptr) cp932conv_free(self->converter);
  PyTypeObject *type = Py_TYPE(self);
  type->tp_free(reinterpret_cast<PyObject *>(self));
  Py_DECREF(type); // a heap type
}

// A first guess at the output of `size` bytes: UTF-16 of CP932 takes at most twice its bytes
// but for replacements beyond the BMP; CP932 of UTF-16 or UTF-8 at most as many but for
// references and entities. The buffer grows when it is not enough.
Py_ssize_t first_room(const converter_object *self, Py_ssize_t size) {
  return (self->direction == CP932CONV_DECODE ? 2 * size : size) + 256;
}

// Converts `data` into a new bytes object, the items reported into `items` when not null.
PyObject *convert_into_bytes(converter_object *self, const Py_buffer &data, bool final,
                             std::vector<item> *items) {
  PyObject *out = PyBytes_FromStringAndSize(nullptr, first_room(self, data.len));
  if (out == nullptr) return nullptr;
  advise_large_buffer(PyBytes_AS_STRING(out), static_cast<size_t>(PyBytes_GET_SIZE(out)));
  cp932conv_set_audit(self->converter, items != nullptr ? collect : nullptr, items);
  const auto *in = static_cast<const unsigned char *>(data.buf);
  size_t taken = 0, filled = 0;
  for (;;) {
    size_t consumed = 0, written = 0;
    const size_t room = static_cast<size_t>(PyBytes_GET_SIZE(out)) - filled;
    char *const to = PyBytes_AS_STRING(out) + filled;
    const size_t left = static_cast<size_t>(data.len) - taken;
    int answer;
    // The converter touches nothing of Python's, unless it reports to a list being built.
    if (items == nullptr) {
      Py_BEGIN_ALLOW_THREADS answer = cp932conv_convert(self->converter, in + taken, left,
                                                        &consumed, to, room, &written, final);
      Py_END_ALLOW_THREADS
    } else {
      answer = cp932conv_convert(self->converter, in + taken, left, &consumed, to, room, &written,
                                 final);
    }
    taken += consumed;
    filled += written;
    if (answer == CP932CONV_OK) break;
    if (_PyBytes_Resize(&out, 2 * PyBytes_GET_SIZE(out)) != 0) {
      cp932conv_set_audit(self->converter, nullptr, nullptr);
      return nullptr;
    }
  }
  cp932conv_set_audit(self->converter, nullptr, nullptr);
  if (_PyBytes_Resize(&out, static_cast<Py_ssize_t>(filled)) != 0) return nullptr;
  return out;
}

// The arguments of the methods that convert a chunk: (data, final), `final` keeping its default
// when not given.
bool parse_chunk(PyObject *args, PyObject *keywords, Py_buffer &data, int &final) {
  static const char *names[] = {"data", "final", nullptr};
  return PyArg_ParseTupleAndKeywords(args, keywords, "y*|p", const_cast<char **>(names), &data,
                                     &final) != 0;
}

// Converts all of `data` into `room` bytes at `to`; the bytes written, or -1 when the room was
// not enough.
Py_ssize_t convert_into(converter_object *self, const Py_buffer &data, bool final,
                        unsigned char *to, size_t room) {
  size_t consumed = 0, written = 0;
  int answer;
  Py_BEGIN_ALLOW_THREADS answer =
      cp932conv_convert(self->converter, data.buf, static_cast<size_t>(data.len), &consumed, to,
                        room, &written, final);
  Py_END_ALLOW_THREADS return answer == CP932CONV_OK ? static_cast<Py_ssize_t>(written) : -1;
}

// A decoder's output for `data` as a str. A decoder's UTF-16 (in the machine's byte order) has
// at most one unit a byte and no surrogate, so it is written straight into a new str of two-byte
// characters, which is cut to its length, or remade narrower when no character needs two bytes
// (Python keeps each str in its narrowest form).
PyObject *converter_text(converter_object *self, PyObject *args, PyObject *keywords) {
  Py_buffer data;
  int final = 0;
  if (!parse_chunk(args, keywords, data, final)) return nullptr;
  const Py_ssize_t bound = data.len + 256;
  PyObject *text = self->direction == CP932CONV_DECODE && self->form != CP932CONV_UTF8
                       ? PyUnicode_New(bound, 0xFFFF)
                       : nullptr;
  Py_ssize_t written = -1;
  if (text != nullptr)
    advise_large_buffer(PyUnicode_2BYTE_DATA(text), static_cast<size_t>(2 * bound));
  if (text != nullptr)
    written = convert_into(self, data, final != 0,
                           reinterpret_cast<unsigned char *>(PyUnicode_2BYTE_DATA(text)),
                           static_cast<size_t>(2 * bound));
  PyBuffer_Release(&data);
  if (written < 0) { // a replacement beyond the BMP, or no decoder to UTF-16
    Py_XDECREF(text);
    PyErr_SetString(PyExc_ValueError, "text() needs a decoder to UTF-16 without a replacement "
                                      "beyond the BMP");
    return nullptr;
  }
  const Py_ssize_t length = written / 2;
  const Py_UCS2 *units = PyUnicode_2BYTE_DATA(text);
  Py_UCS2 widest = 0, surrogates = 0;
  for (Py_ssize_t k = 0; k < length; ++k) {
    widest = units[k] > widest ? units[k] : widest;
    surrogates |= static_cast<Py_UCS2>((units[k] & 0xF800) == 0xD800);
  }
  if (surrogates != 0 || widest < 0x100) {
    PyObject *made = surrogates != 0
                         ? PyUnicode_DecodeUTF16(reinterpret_cast<const char *>(units), written,
                                                 "surrogatepass", nullptr)
                         : PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, units, length);
    Py_DECREF(text);
    return made;
  }
  if (PyUnicode_Resize(&text, length) != 0) return nullptr;
  return text;
}

// An encoder's output for the str `text`, read straight from the str where it holds what the
// encoder reads: UTF-16 in the machine's byte order for characters of two bytes, UTF-8 for
// ASCII. None where it does not (the caller converts the str first).
PyObject *converter_encode_text(converter_object *self, PyObject *args) {
  PyObject *text;
  int final = 0;
  if (!PyArg_ParseTuple(args, "U|p", &text, &final)) return nullptr;
  Py_buffer view = {};
  const int kind = PyUnicode_KIND(text);
  if (kind == PyUnicode_2BYTE_KIND && self->form != CP932CONV_UTF8) {
    view.buf = PyUnicode_2BYTE_DATA(text);
    view.len = 2 * PyUnicode_GET_LENGTH(text);
  } else if (kind == PyUnicode_1BYTE_KIND && PyUnicode_IS_ASCII(text) &&
             self->form == CP932CONV_UTF8) {
    view.buf = PyUnicode_1BYTE_DATA(text);
    view.len = PyUnicode_GET_LENGTH(text);
  } else {
    Py_RETURN_NONE;
  }
  return convert_into_bytes(self, view, final != 0, nullptr);
}

PyObject *converter_convert(converter_object *self, PyObject *args, PyObject *keywords) {
  Py_buffer data;
  int final = 0;
  if (!parse_chunk(args, keywords, data, final)) return nullptr;
  PyObject *out = convert_into_bytes(self, data, final != 0, nullptr);
  PyBuffer_Release(&data);
  return out;
}

// convert, and the items dropped or replaced: (bytes, [(offset, length, line, column,
// description, value, replaced), ...]).
PyObject *converter_audit(converter_object *self, PyObject *args, PyObject *keywords) {
  Py_buffer data;
  int final = 1;
  if (!parse_chunk(args, keywords, data, final)) return nullptr;
  std::vector<item> items;
  PyObject *out = convert_into_bytes(self, data, final != 0, &items);
  PyBuffer_Release(&data);
  if (out == nullptr) return nullptr;
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(items.size()));
  if (list == nullptr) {
    Py_DECREF(out);
    return nullptr;
  }
  for (size_t k = 0; k < items.size(); ++k) {
    const item &i = items[k];
    PyObject *tuple = Py_BuildValue(
        "(KnKKsIO)", static_cast<unsigned long long>(i.offset), static_cast<Py_ssize_t>(i.length),
        static_cast<unsigned long long>(i.line), static_cast<unsigned long long>(i.column),
        i.description.c_str(), static_cast<unsigned>(i.value), i.replaced ? Py_True : Py_False);
    if (tuple == nullptr) {
      Py_DECREF(list);
      Py_DECREF(out);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), tuple);
  }
  return Py_BuildValue("(NN)", out, list);
}

PyObject *converter_reset(converter_object *self, PyObject *) {
  cp932conv_reset(self->converter);
  Py_RETURN_NONE;
}

PyObject *converter_status(converter_object *self, void *) {
  return PyLong_FromLong(cp932conv_status(self->converter));
}

PyObject *converter_dropped(converter_object *self, void *) {
  return PyLong_FromUnsignedLongLong(cp932conv_dropped(self->converter));
}

PyMethodDef CONVERTER_METHODS[] = {
    {"convert", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(converter_convert)),
     METH_VARARGS | METH_KEYWORDS,
     "convert(data, final=False) -> bytes: converts a chunk; a character it cuts is kept for "
     "the next one"},
    {"audit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(converter_audit)),
     METH_VARARGS | METH_KEYWORDS,
     "audit(data, final=True) -> (bytes, items): converts, and reports each item dropped or "
     "replaced as (offset, length, line, column, description, value, replaced)"},
    {"text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(converter_text)),
     METH_VARARGS | METH_KEYWORDS,
     "text(data, final=False) -> str: a decoder's conversion of a chunk, as a str"},
    {"encode_text",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(converter_encode_text)),
     METH_VARARGS,
     "encode_text(text, final=False) -> bytes or None: an encoder's conversion of a str read "
     "where it lies, None where the str is not held in the encoder's form"},
    {"reset", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(converter_reset)),
     METH_NOARGS, "reset(): starts a new input"},
    {nullptr, nullptr, 0, nullptr}};

PyGetSetDef CONVERTER_PROPERTIES[] = {
    {"status", reinterpret_cast<getter>(converter_status), nullptr,
     "the status bits of the current input (2: cut at its end, 4: invalid)", nullptr},
    {"dropped", reinterpret_cast<getter>(converter_dropped), nullptr,
     "the items dropped in the current input so far", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot CONVERTER_SLOTS[] = {
    {Py_tp_doc, const_cast<char *>("Converter(direction, form, letters='', replacement=None)")},
    {Py_tp_new, reinterpret_cast<void *>(PyType_GenericNew)},
    {Py_tp_init, reinterpret_cast<void *>(converter_init)},
    {Py_tp_dealloc, reinterpret_cast<void *>(converter_dealloc)},
    {Py_tp_methods, CONVERTER_METHODS},
    {Py_tp_getset, CONVERTER_PROPERTIES},
    {0, nullptr}};

PyType_Spec CONVERTER_SPEC = {"cp932conv._cp932conv.Converter", sizeof(converter_object), 0,
                              Py_TPFLAGS_DEFAULT, CONVERTER_SLOTS};

PyModuleDef MODULE = {PyModuleDef_HEAD_INIT,
                      "_cp932conv",
                      "CP932 converters with per-converter letters and an audit",
                      -1,
                      nullptr,
                      nullptr,
                      nullptr,
                      nullptr,
                      nullptr};

} // namespace

PyMODINIT_FUNC PyInit__cp932conv() {
  PyObject *module = PyModule_Create(&MODULE);
  if (module == nullptr) return nullptr;
  PyObject *type = PyType_FromSpec(&CONVERTER_SPEC);
  if (type == nullptr || PyModule_AddObject(module, "Converter", type) < 0) {
    Py_XDECREF(type);
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
