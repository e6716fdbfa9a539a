// The C runtime's start-up registers _matherr as the handler of math errors.
// Its default prints a line to stderr, which a GUI program does not have,
// and asks for the default result: this one only asks for the result. It
// keeps the printing and its messages out of the shipped executable. Linked
// only into builds without exceptions, as the runtime replacements are.

struct _exception;

extern "C" int __cdecl _matherr(struct _exception*) {
  return 0;
}
