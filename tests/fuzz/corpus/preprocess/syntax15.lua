-- format 15: compound forms of the new operators, ? after statements
a \= 2 b ..= "x" c ^= 2 d ^^= e f |= g h &= i
j <<= 1 k >>= 1 l >>>= 1 m <<>= 1 n >><= 1
x += a & b | c ^^ d << e >> f >>> g <<> h >>< i y = 2
x -= @a + %b + $c * ~d z()
if (x != 3) y += 1 ?"y"
if (btn(‹)) ?"left" x <<= 1
s = "a <<= b ..= c \= d ‹ \*\#" t ..= s .. "—"
d*=2e*=2 for i=0,7do x|=i end
if(a)?a
a ...= 1 a <<<= 2 a ^^^= 3
