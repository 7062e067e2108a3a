"unterminated
[=[ never closed