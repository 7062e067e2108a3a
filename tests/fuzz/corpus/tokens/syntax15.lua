a<<>b>><c a>>>=b<<=c a^^b^^=c^=d^e a..=b...c
for i=0,7do x=2and 1 end 0x1fthen d*=2e*=2 1e+x 1e-5 1e5e 0x1p-4 0b1011.1or 0b12 1..2
a \ b \= c & d &= e | f |= g ~h @i %j $k ?l <> != ~= <= >=
