/* The smallest program the linker turns into a Windows executable; the tests only read its
   headers and resources. */
int main(void) { return 0; }
