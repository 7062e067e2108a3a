if (x>1) y=2
if (a != b) print("x != y")
if (a) and b then c() end
elseif(x) y()
?x
  ? 1+2
