-- a small game loop written in plain Lua
local player = {x = 64, y = 64, dx = 0, dy = 0, hp = 3}
local bullets = {}
local score, frames = 0, 0

function _init()
  cls()
  music(0)
end

local function fire(x, y)
  bullets[#bullets + 1] = {x = x, y = y - 4, life = 30}
end

function _update()
  frames = frames + 1
  if (btn(0)) then player.x = player.x - 1 end
  if (btn(1)) and player.x < 120 then player.x = player.x + 1 end
  if (player.hp > 0)
  then
    player.y = player.y + player.dy
  elseif(player.hp == 0) then
    score = 0
  end
  if btnp(4) then fire(player.x, player.y) end
  for i = #bullets, 1, -1 do
    local b = bullets[i]
    b.y, b.life = b.y - 2, b.life - 1
    if b.life <= 0 or b.y < -8 then table.remove(bullets, i) end
  end
  score = score + (frames % 30 == 0 and 1 or 0)
end

function _draw()
  cls(1)
  spr(1, player.x, player.y)
  for _, b in ipairs(bullets) do pset(b.x, b.y, 7) end
  print("score " .. score, 2, 2, 7)
  print(("hp:%d"):format(player.hp), 100, 2, 8)
end
