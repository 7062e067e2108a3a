vec = "v2"
printh("vec read")
