-- ghost garden
-- gather every gem in three walled gardens while bats and ghosts roam.
-- arrows move, z/x start and restart.

-- sprite flags, as set in the sprite sheet
f_solid = 0
f_gem = 1
f_start = 2
f_bat = 3
f_ghost = 4
f_vbat = 5
layer_drawn = 128

gardens = 3
lives_max = 3

spr_gem = 16
spr_heart = 20
spr_player = 32
spr_bat = 48
spr_ghost = 50

snd_gem = 0
snd_hit = 1
snd_clear = 2
snd_over = 3
snd_win = 4
snd_start = 5

function _init()
  -- the best score is kept from one run to the next
  cartdata("vexel_ghost_garden")
  best = dget(0)
  score = 0
  frame = 0
  state = "title"
  wait = 0
  sparks = {}
  music(0, 0, 7)
end

function new_game()
  score = 0
  lives = lives_max
  sfx(snd_start)
  start_garden(1)
end

-- read a garden out of the map: gems and creatures come from marker cells,
-- the walls stay in the map and are drawn by it.
function start_garden(n)
  garden = n
  mx = (n - 1) * 16
  gems = {}
  foes = {}
  sparks = {}
  px = 60
  py = 60
  local speed = 0.35 + n * 0.15
  for cy = 1, 15 do
    for cx = 0, 15 do
      local v = mget(mx + cx, cy)
      local x = cx * 8
      local y = cy * 8
      if fget(v, f_gem) then
        add(gems, {x = x, y = y, phase = rnd(1)})
      elseif fget(v, f_start) then
        px = x
        py = y
      elseif fget(v, f_bat) then
        add(foes, {kind = "bat", x = x, y = y, dx = speed, dy = 0})
      elseif fget(v, f_vbat) then
        add(foes, {kind = "bat", x = x, y = y, dx = 0, dy = speed})
      elseif fget(v, f_ghost) then
        add(foes, {kind = "ghost", x = x, y = y, speed = speed * 0.45})
      end
    end
  end
  facing_left = false
  walking = 0
  safe = 90
  shake = 0
  clock = 0
  banner = 75
  state = "play"
end

function solid(x, y)
  return fget(mget(mx + flr(x / 8), flr(y / 8)), f_solid)
end

-- the 6x6 body of a creature whose sprite's top-left corner is at (x, y)
function blocked(x, y)
  return solid(x + 1, y + 2) or solid(x + 6, y + 2)
      or solid(x + 1, y + 7) or solid(x + 6, y + 7)
end

function burst(x, y, c, n)
  for i = 1, n do
    local a = rnd(1)
    local s = 0.5 + rnd(1.5)
    add(sparks, {x = x, y = y, dx = cos(a) * s, dy = sin(a) * s,
                 life = 15 + flr(rnd(15)), c = c})
  end
end

function _update60()
  -- wrapped well inside the number range at a multiple of every period used
  frame = (frame + 1) % 25200
  if wait > 0 then wait = wait - 1 end
  for s in all(sparks) do
    s.x = s.x + s.dx
    s.y = s.y + s.dy
    s.dx = s.dx * 0.92
    s.dy = s.dy * 0.92
    s.life = s.life - 1
    if s.life <= 0 then del(sparks, s) end
  end
  if state == "play" then
    update_play()
  elseif state == "clear" then
    wait_clear()
  elseif wait == 0 and (btnp(4) or btnp(5)) then
    new_game()
  end
end

function update_play()
  clock = min(clock + 1, 30000)
  if safe > 0 then safe = safe - 1 end
  if shake > 0 then shake = shake - 1 end
  if banner > 0 then banner = banner - 1 end

  local dx = 0
  local dy = 0
  if btn(0) then dx = dx - 1 end
  if btn(1) then dx = dx + 1 end
  if btn(2) then dy = dy - 1 end
  if btn(3) then dy = dy + 1 end
  if dx ~= 0 and dy ~= 0 then
    dx = dx * 0.75
    dy = dy * 0.75
  end
  if dx < 0 then facing_left = true end
  if dx > 0 then facing_left = false end
  if not blocked(px + dx, py) then px = px + dx end
  if not blocked(px, py + dy) then py = py + dy end
  if dx ~= 0 or dy ~= 0 then walking = walking + 1 else walking = 0 end

  for g in all(gems) do
    if abs(g.x - px) < 6 and abs(g.y - py) < 6 then
      del(gems, g)
      score = score + 10
      sfx(snd_gem)
      burst(g.x + 4, g.y + 4, 12, 10)
    end
  end

  for f in all(foes) do
    move_foe(f)
    if safe == 0 and abs(f.x - px) < 6 and abs(f.y - py) < 6 then
      get_hit()
    end
  end

  if #gems == 0 and state == "play" then
    local bonus = max(0, 60 - flr(clock / 60)) * 5
    score = score + 50 + bonus
    last_bonus = bonus
    burst(px + 4, py + 4, 10, 24)
    if garden == gardens then
      finish("win")
    else
      state = "clear"
      wait = 120
      sfx(snd_clear)
    end
  end
end

function move_foe(f)
  if f.kind == "bat" then
    if blocked(f.x + f.dx, f.y + f.dy) then
      f.dx = -f.dx
      f.dy = -f.dy
    else
      f.x = f.x + f.dx
      f.y = f.y + f.dy
    end
  else
    -- ghosts drift through walls straight at the player; dividing by 8
    -- keeps the squares inside the number range
    local ex = (px - f.x) / 8
    local ey = (py - f.y) / 8
    local d = sqrt(ex * ex + ey * ey)
    if d > 0.1 then
      f.x = f.x + ex / d * f.speed
      f.y = f.y + ey / d * f.speed
    end
  end
end

function get_hit()
  lives = lives - 1
  safe = 120
  shake = 12
  burst(px + 4, py + 4, 8, 16)
  if lives <= 0 then
    finish("over")
  else
    sfx(snd_hit)
  end
end

function finish(how)
  state = how
  wait = 60
  if score > best then
    best = score
    dset(0, best)
  end
  if how == "win" then sfx(snd_win) else sfx(snd_over) end
end

function wait_clear()
  if wait == 0 then start_garden(garden + 1) end
end

-- drawing

function shadow_print(s, x, y, c)
  print(s, x + 1, y + 1, 0)
  print(s, x, y, c)
end

function centre_print(s, y, c)
  shadow_print(s, 64 - #s * 2, y, c)
end

function _draw()
  cls(3)
  if state == "title" then
    draw_title()
    return
  end
  if shake > 0 then
    camera(rnd(3) - 1, rnd(3) - 1)
  end
  map(mx, 0, 0, 0, 16, 16, layer_drawn)

  -- gems bob and glint
  for g in all(gems) do
    local b = sin(frame / 90 + g.phase) * 1.5
    if (frame + flr(g.phase * 120)) % 120 < 8 then pal(12, 7) end
    spr(spr_gem, g.x, g.y + b)
    pal()
  end

  for f in all(foes) do
    local step = flr(frame / 8) % 2
    if f.kind == "bat" then
      spr(spr_bat + step, f.x, f.y, 1, 1, f.dx < 0)
    else
      spr(spr_ghost + step, f.x, f.y + sin(frame / 70) * 1.5, 1, 1, f.x > px)
    end
  end

  if state == "play" or state == "clear" then
    if safe == 0 or flr(safe / 4) % 2 == 0 then
      local step = 0
      if walking > 0 then step = flr(walking / 6) % 2 end
      spr(spr_player + step, px, py, 1, 1, facing_left)
    end
  end

  for s in all(sparks) do
    pset(s.x, s.y, s.c)
  end
  camera()
  draw_hud()

  if state == "play" and banner > 0 then
    rectfill(24, 56, 103, 70, 1)
    rect(24, 56, 103, 70, 12)
    centre_print("garden " .. garden .. " of " .. gardens, 61, 7)
  elseif state == "clear" then
    rectfill(20, 50, 107, 76, 1)
    rect(20, 50, 107, 76, 11)
    centre_print("garden cleared!", 55, 11)
    centre_print("time bonus " .. last_bonus, 66, 7)
  elseif state == "over" or state == "win" then
    draw_end()
  end
end

function draw_hud()
  rectfill(0, 0, 127, 7, 0)
  print("score " .. score, 2, 1, 7)
  for i = 1, lives_max do
    if i > lives then pal(8, 5) pal(14, 5) end
    spr(spr_heart, 78 + i * 7, 0)
    pal()
  end
  spr(spr_gem, 108, 0)
  print(#gems, 118, 1, 12)
end

function draw_end()
  local won = state == "win"
  local c = 8
  if won then c = 10 end
  rectfill(14, 40, 113, 88, 1)
  rect(14, 40, 113, 88, c)
  if won then
    centre_print("every gem gathered!", 46, 10)
  else
    centre_print("the ghosts got you", 46, 8)
  end
  centre_print("score " .. score, 58, 7)
  centre_print("best " .. best, 66, 6)
  if wait == 0 and flr(frame / 20) % 2 == 0 then
    centre_print("z/x: play again", 78, 12)
  end
end

function draw_title()
  -- a wandering parade of the cast
  for i = 0, 7 do
    local x = (i * 20 + frame / 2) % 160 - 16
    local y = 100 + sin(frame / 60 + i / 8) * 4
    local s = spr_gem
    if i % 4 == 1 then s = spr_bat + flr(frame / 8) % 2 end
    if i % 4 == 3 then s = spr_ghost + flr(frame / 12) % 2 end
    if i == 0 then s = spr_player + flr(frame / 6) % 2 end
    spr(s, x, y)
  end
  map(0, 1, 0, 0, 16, 1, layer_drawn)
  map(0, 15, 0, 120, 16, 1, layer_drawn)

  local wobble = sin(frame / 80) * 2
  rectfill(16, 24 + wobble, 111, 50 + wobble, 1)
  rect(16, 24 + wobble, 111, 50 + wobble, 11)
  centre_print("ghost garden", 30 + wobble, 11)
  centre_print("gather every gem", 40 + wobble, 6)

  shadow_print("arrows: move", 38, 62, 7)
  shadow_print("avoid bats and ghosts", 22, 70, 7)
  if best > 0 then centre_print("best " .. best, 80, 10) end
  if flr(frame / 20) % 2 == 0 then
    centre_print("press z or x", 88, 12)
  end
end
