// The program throws nothing: the library's containers reach these only when memory or a
// length runs out, and ending there keeps the exception runtime, and with it imports newer
// than the oldest Windows we run on, out of the program.
#include <cstdlib>

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_optional_access() { std::abort(); }
}  // namespace std

// The library's own allocation throws; the program's ends instead, as the throws above do.
#include <new>

void* operator new(std::size_t size) {
  void* memory = std::malloc(size ? size : 1);
  if (!memory) std::abort();
  return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
