// Writes through a null pointer: the crash that crash_test.cpp expects to end at once.

int main() {
  // Volatile both ways, so the compiler can neither drop the write nor turn it into a trap.
  volatile int* volatile target = nullptr;
  *target = 1;
  return 0;
}
