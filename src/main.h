#ifndef MAIN_H
#define MAIN_H
int zerv_main(int argc, char **argv);
#endif
