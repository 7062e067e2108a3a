s = [==[ ]] ]==] t = [[ a [[ b ]]
--[[ block
comment ]] u = "esc\\" v = "\z
   w"
