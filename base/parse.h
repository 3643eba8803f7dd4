// Command-line helpers shared by every command: comment removal, quoted text with escapes, raw
// tokens, hexadecimal digits, and the interpreter's entry and result codes.
#pragma once

#include <stdint.h>

// Results of parse_command and of every command handler.
enum { CMD_FAIL = 0, CMD_OK = 1, CMD_IERR = 2, CMD_SILENT = 3 };

extern char out_buffer[129]; // replies are formatted here before they are sent

int parse_command(char *line);

char *skipLeadingWhitespace(char *s);
bool killTrailingComment(char *s);
char *escstr(char *s, char delimiter, char **rest);
char *escstrl(char *s, char delimiter, char **rest, int *length);
char *strtokr(char *s, char delimiter, char **rest);
int atoh(char c);
uint8_t shtoU8(const char *p);
