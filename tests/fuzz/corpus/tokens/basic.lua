local a = {1, 2}
x.y:z() -- note
print("hi\"there") // c
