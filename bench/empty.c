/* The floor for start-up timings: a console program that does nothing,
   built with the same compilers and link options as kestrad.exe. */
int main(void) { return 0; }
