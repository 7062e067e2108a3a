-- format 15: operators, precedence, peeks, numerals, escapes, ?
local a, b = 0x0f0f.f0f0, 0b1011.1
local c = a \ b * 2 + a & b | a ^^ b & ~a << 2 >> 1 >>> 3 <<> 4 >>< 5
local d = 1 << 2 .. "" == "4" or 3 == 1 | 2 and not #"x" ^^ 1
local e = @a + %b - $c ^ 2 + @-1 % %2
for i=0,7do c=c+i end
x=2and 1 if x==0x1fthen x=2else x=3 end
y = 1e5 + 1E+2 + 2.5e-1 + 0x.8 + 0b.1 + 3. + .5
s = "\*\#\-\|\+\^\0\65\x41\z
   end"
?s ?a, b
if c then ?c end
function f(...) return ~... , (...) \ 2 end
